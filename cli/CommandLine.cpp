#include "cli/CommandLine.h"

#include <QCoreApplication>

#include <cstdio>

namespace lorimet::cli {

namespace {

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

QString projectVersion() {
    return QStringLiteral(LORIMET_PROJECT_VERSION);
}

CommandLine::CommandLine(QString tool, const QString& description)
    : tool_(std::move(tool)), help_(parser_.addHelpOption()), version_(parser_.addVersionOption()) {
    parser_.setApplicationDescription(description);
}

QString CommandLine::helpText() const {
    // Qt names the program by the path it was started with; its users know it by its name.
    QString text = parser_.helpText();
    const qsizetype lineEnd = text.indexOf(u'\n');
    QString named = startedAs_;
    if (QCoreApplication::instance() && !QCoreApplication::arguments().isEmpty())
        named = QCoreApplication::arguments().first();
    if (lineEnd > 0) {
        for (const QString& name : {named, QStringLiteral("<executable_name>")}) {
            const qsizetype at = name.isEmpty() ? -1 : text.left(lineEnd).indexOf(name);
            if (at >= 0) {
                text.replace(at, name.size(), tool_);
                break;
            }
        }
    }
    if (!epilogue_.isEmpty())
        text += u'\n' + epilogue_ + (epilogue_.endsWith(u'\n') ? QString() : QStringLiteral("\n"));
    return text;
}

std::optional<int> CommandLine::parse(const QStringList& arguments) {
    startedAs_ = arguments.value(0);
    if (!parser_.parse(arguments))
        return usageError(parser_.errorText());
    if (parser_.isSet(help_)) {
        print(stdout, helpText());
        return 0;
    }
    if (parser_.isSet(version_)) {
        print(stdout, tool_ + u' ' + projectVersion() + u'\n');
        return 0;
    }
    return std::nullopt;
}

int CommandLine::usageError(const QString& reason) const {
    const QString help = helpText();
    const QString usageLine = help.left(help.indexOf(u'\n'));
    print(stderr, tool_ + QStringLiteral(": ") + reason + u'\n' + usageLine + u'\n' +
                      QStringLiteral("Try '%1 --help' for more information.\n")
                          .arg(helpCall_.isEmpty() ? tool_ : helpCall_));
    return kUsageExit;
}

} // namespace lorimet::cli
