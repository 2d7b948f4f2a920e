#include "sim/SimCommand.h"

#include "text/Numbers.h"

#include <algorithm>
#include <cmath>

namespace lorimet {

namespace {

std::optional<double> parseNumber(QStringView text) {
    QString copy = text.toString();
    copy.replace(u',', u'.');
    return parseInstrumentReal(copy);
}

} // namespace

std::optional<SimCommand> parseSimCommand(QStringView text, QString* error) {
    const QStringList words = text.toString().simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        *error = QStringLiteral("empty command");
        return std::nullopt;
    }
    const QString& name = words[0];
    SimCommand command;
    if (name == u"quit" && words.size() == 1) {
        command.kind = SimCommand::Kind::Quit;
        return command;
    }
    if (words.size() != 2) {
        *error = QStringLiteral("unknown command: %1").arg(text);
        return std::nullopt;
    }
    const QString& argument = words[1];

    if (name == u"knob") {
        command.kind = SimCommand::Kind::Knob;
        if (argument == u"изм.")
            command.knob = KnobPosition::Measuring;
        else if (argument == u"под.")
            command.knob = KnobPosition::Preparation;
        else {
            *error = QStringLiteral("the knob stands at \"изм.\" or \"под.\", not %1").arg(argument);
            return std::nullopt;
        }
        return command;
    }
    if (name == u"fault") {
        command.kind = SimCommand::Kind::Fault;
        if (argument == u"unit")
            command.fault = LineFault::WrongUnit;
        else if (argument == u"temperature")
            command.fault = LineFault::BlankTemperature;
        else if (argument == u"garbage")
            command.fault = LineFault::Garbage;
        else if (argument == u"split")
            command.fault = LineFault::Split;
        else if (argument == u"zeros")
            command.fault = LineFault::Zeros;
        else if (argument == u"long")
            command.fault = LineFault::LongNoise;
        else {
            *error = QStringLiteral("faults: unit, temperature, garbage, split, zeros, long; not %1")
                         .arg(argument);
            return std::nullopt;
        }
        return command;
    }

    struct NumericCommand {
        const char16_t* name;
        SimCommand::Kind kind;
        double minimum, maximum;
    };
    static constexpr NumericCommand numeric[] = {
        {u"inject", SimCommand::Kind::Inject, 0, 1000},
        {u"silence", SimCommand::Kind::Silence, 0, 86400},
        {u"flood", SimCommand::Kind::Flood, 0, 60},
        {u"period", SimCommand::Kind::Period, 0.01, 3600},
        {u"signal", SimCommand::Kind::Signal, 0, 999.99},
        {u"temperature", SimCommand::Kind::Temperature, -9.9, 99.9},
    };
    const auto found = std::find_if(std::begin(numeric), std::end(numeric),
                                    [&](const NumericCommand& c) { return name == c.name; });
    if (found == std::end(numeric)) {
        *error = QStringLiteral("unknown command: %1").arg(text);
        return std::nullopt;
    }
    const std::optional<double> value = parseNumber(argument);
    if (!value || *value < found->minimum || *value > found->maximum) {
        *error = QStringLiteral("%1 wants a number from %2 to %3, not %4")
                     .arg(name)
                     .arg(found->minimum)
                     .arg(found->maximum)
                     .arg(argument);
        return std::nullopt;
    }
    command.kind = found->kind;
    command.value = *value;
    return command;
}

std::optional<QList<ScriptEntry>> parseSimScript(const QString& text, int* badLine, QString* error) {
    QList<ScriptEntry> entries;
    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        *badLine = i + 1;
        const qsizetype blank = line.indexOf(u' ');
        const std::optional<double> seconds = parseNumber(QStringView(line).left(blank));
        if (blank < 0 || !seconds || *seconds < 0) {
            *error = QStringLiteral("expected \"SECONDS COMMAND\"");
            return std::nullopt;
        }
        const std::optional<SimCommand> command = parseSimCommand(QStringView(line).mid(blank + 1), error);
        if (!command)
            return std::nullopt;
        entries.append({std::llround(*seconds * 1000.0), *command});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ScriptEntry& a, const ScriptEntry& b) { return a.atMs < b.atMs; });
    *badLine = 0;
    return entries;
}

} // namespace lorimet
