#include "Scenario.h"

#include <QRegularExpression>

namespace lorimet::replay {
namespace {

constexpr qint64 kLatestEventMs = 864'000'000;

std::optional<qint64> parseSeconds(const QString& token) {
    static const QRegularExpression form(QStringLiteral("^(\\d+)(?:\\.(\\d{1,3}))?$"));
    const auto m = form.match(token);
    if (!m.hasMatch() || m.captured(1).size() > 9)
        return std::nullopt;
    QString fraction = m.captured(2);
    while (fraction.size() < 3)
        fraction.append(u'0');
    return m.captured(1).toLongLong() * 1000 + fraction.toLongLong();
}

QByteArray chopNewline(QByteArray line) {
    if (line.endsWith('\n'))
        line.chop(1);
    return line;
}

} // namespace

ScenarioReader::Result ScenarioReader::feed(QStringView text, Event& event) {
    const int number = ++lineNumber_;
    auto fail = [&](const QString& reason) {
        error_ = {number, reason};
        return Result::Error;
    };
    QString line = text.toString();
    if (line.endsWith(u'\r'))
        line.chop(1);
    if (line.trimmed().isEmpty() || line.startsWith(u'#'))
        return Result::Nothing;
    const qsizetype firstBlank = line.indexOf(u' ');
    const QString head = firstBlank < 0 ? line : line.left(firstBlank);
    const QString rest = firstBlank < 0 ? QString() : line.mid(firstBlank + 1);
    if (head == u"date" || head == u"time") {
        if (eventsStarted_)
            return fail(QStringLiteral("header line after the first event"));
        if (head == u"date") {
            const QDate d = QDate::fromString(rest.trimmed(), QStringLiteral("yyyy-MM-dd"));
            if (!d.isValid())
                return fail(QStringLiteral("date must be YYYY-MM-DD"));
            date = d;
        } else {
            const QTime t = QTime::fromString(rest.trimmed(), QStringLiteral("HH:mm:ss.zzz"));
            if (!t.isValid())
                return fail(QStringLiteral("time must be HH:MM:SS.mmm"));
            time = t;
        }
        return Result::Nothing;
    }
    const auto time = parseSeconds(head);
    if (!time)
        return fail(QStringLiteral("expected a time in seconds (at most three decimals) or a header"));
    // Virtual time is stepped tick by tick: an event years ahead would keep the run busy for hours.
    if (*time > kLatestEventMs)
        return fail(QStringLiteral("time beyond ten days (864000 s)"));
    if (*time < lastTime_)
        return fail(QStringLiteral("time goes backwards"));
    lastTime_ = *time;
    eventsStarted_ = true;

    event = Event{};
    event.timeMs = *time;
    event.lineNumber = number;
    const qsizetype verbEnd = rest.indexOf(u' ');
    const QString verb = verbEnd < 0 ? rest : rest.left(verbEnd);
    const QString args = verbEnd < 0 ? QString() : rest.mid(verbEnd + 1);
    const QStringList words = args.split(u' ', Qt::SkipEmptyParts);
    auto noArguments = [&](Verb v) -> bool {
        event.verb = v;
        return words.isEmpty();
    };
    if (verb == u"line") {
        event.verb = Verb::Line;
        event.text = args; // verbatim, blanks kept
    } else if (verb == u"raw") {
        event.verb = Verb::Raw;
        if (words.isEmpty())
            return fail(QStringLiteral("raw needs hexadecimal bytes"));
        for (const QString& w : words) {
            bool ok = false;
            const uint value = w.toUInt(&ok, 16);
            if (!ok || w.size() > 2 || value > 0xFF)
                return fail(QStringLiteral("not a hexadecimal byte: ") + w);
            event.bytes.append(static_cast<char>(value));
        }
    } else if (verb == u"connect" || verb == u"port-fails" || verb == u"port-works" ||
               verb == u"disconnect" || verb == u"clear" || verb == u"upper-point" || verb == u"cancel" ||
               verb == u"toxicity" || verb == u"factory-restore" || verb == u"factory-save" ||
               verb == u"exit") {
        static const QHash<QString, Verb> simple = {
            {QStringLiteral("connect"), Verb::Connect},
            {QStringLiteral("port-fails"), Verb::PortFails},
            {QStringLiteral("port-works"), Verb::PortWorks},
            {QStringLiteral("disconnect"), Verb::Disconnect},
            {QStringLiteral("clear"), Verb::Clear},
            {QStringLiteral("upper-point"), Verb::UpperPoint},
            {QStringLiteral("cancel"), Verb::Cancel},
            {QStringLiteral("toxicity"), Verb::Toxicity},
            {QStringLiteral("factory-restore"), Verb::FactoryRestore},
            {QStringLiteral("factory-save"), Verb::FactorySave},
            {QStringLiteral("exit"), Verb::Exit},
        };
        if (!noArguments(simple.value(verb)))
            return fail(verb + QStringLiteral(" takes no arguments"));
    } else if (verb == u"calibrate") {
        event.verb = Verb::Calibrate;
        if (words.isEmpty() || words.size() > 2)
            return fail(QStringLiteral("calibrate needs CERTIFIED [DILUTION]"));
        event.text = words[0];
        if (words.size() == 2) {
            event.second = words[1];
            event.hasSecond = true;
        }
    } else if (verb == u"analyse") {
        event.verb = Verb::Analyse;
        if (words.size() < 2 || (words[0] != u"small" && words[0] != u"full"))
            return fail(QStringLiteral("analyse needs KIND (small or full), DILUTION and a description"));
        event.small = words[0] == u"small";
        event.second = words[1];
        event.hasSecond = words[1] != u"-";
        // The description is the rest of the line after the dilution, as typed.
        const qsizetype kindEnd = args.indexOf(words[0]) + words[0].size();
        const qsizetype dilutionAt = args.indexOf(words[1], kindEnd);
        const qsizetype after = dilutionAt + words[1].size();
        event.text = after < args.size() ? args.mid(after + 1) : QString();
    } else if (verb == u"settings") {
        event.verb = Verb::Settings;
        static const QStringList keys = {QStringLiteral("F"), QStringLiteral("D"), QStringLiteral("A"),
                                         QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("port")};
        for (int k = 0; k < words.size(); ++k) {
            if (words[k] == u"save" && k == words.size() - 1) {
                event.save = true;
                break;
            }
            const qsizetype eq = words[k].indexOf(u'=');
            const QString key = eq < 0 ? QString() : words[k].left(eq);
            const QString value = eq < 0 ? QString() : words[k].mid(eq + 1);
            if (!keys.contains(key) || value.isEmpty())
                return fail(QStringLiteral("settings takes KEY=VALUE with keys F, D, A, B, C, port: ") +
                            words[k]);
            if (key != u"port") {
                bool ok = false;
                value.toInt(&ok);
                if (!ok)
                    return fail(QStringLiteral("not a whole number: ") + words[k]);
            }
            event.settings.emplace_back(key, value);
        }
    } else if (verb == u"answer") {
        event.verb = Verb::Answer;
        if (words.size() != 1 || !QStringList{QStringLiteral("OK"), QStringLiteral("Cancel"),
                                              QStringLiteral("Yes"), QStringLiteral("No")}
                                      .contains(words[0]))
            return fail(QStringLiteral("answer takes OK, Cancel, Yes or No"));
        event.second = words[0];
    } else if (verb == u"save-as") {
        event.verb = Verb::SaveAs;
        if (args.trimmed().isEmpty())
            return fail(QStringLiteral("save-as needs FILE or cancel"));
        event.save = args.trimmed() != u"cancel";
        event.text = event.save ? args.trimmed() : QString();
    } else {
        return fail(QStringLiteral("unknown verb: ") + verb);
    }
    return Result::Event;
}

std::optional<Scenario> parseScenario(const QString& text, ParseError& error) {
    Scenario scenario;
    ScenarioReader reader;
    Event event;
    for (QStringView line : QStringView(text).split(u'\n')) {
        switch (reader.feed(line, event)) {
        case ScenarioReader::Result::Event:
            scenario.events.push_back(std::move(event));
            break;
        case ScenarioReader::Result::Error:
            error = reader.error();
            return std::nullopt;
        case ScenarioReader::Result::Nothing:
            break;
        }
    }
    scenario.date = reader.date;
    scenario.time = reader.time;
    return scenario;
}

ScenarioFile::ScenarioFile(QIODevice& device) : device_(device) {}

bool ScenarioFile::check(ParseError& error) {
    ScenarioReader reader;
    Event event;
    while (!device_.atEnd()) {
        if (reader.feed(QString::fromUtf8(chopNewline(device_.readLine())), event) ==
            ScenarioReader::Result::Error) {
            error = reader.error();
            return false;
        }
    }
    date = reader.date;
    time = reader.time;
    if (!device_.seek(0)) {
        error = {0, QStringLiteral("the scenario cannot be read a second time: ") + device_.errorString()};
        return false;
    }
    return true;
}

const Event* ScenarioFile::peek() {
    while (!ahead_ && !device_.atEnd()) {
        Event event;
        const QString line = QString::fromUtf8(chopNewline(device_.readLine()));
        const ScenarioReader::Result result = reader_.feed(line, event);
        if (result == ScenarioReader::Result::Event)
            ahead_ = std::move(event);
        else if (result == ScenarioReader::Result::Error)
            break; // the file changed after check(): what was read stands, the rest is not run
    }
    return ahead_ ? &*ahead_ : nullptr;
}

Event ScenarioFile::take() {
    peek();
    Event event = std::move(*ahead_);
    ahead_.reset();
    return event;
}

} // namespace lorimet::replay
