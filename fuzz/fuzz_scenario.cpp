// Scenario files of lorimet-replay: the parser on any bytes, and the scenarios that parse run through the
// headless runner as the tool runs them (virtual time, the engine, the close sequence).
//
// Only scenarios that stay short are run, so one input never takes long: at most 150 s of virtual time
// and 2000 events. A save-as answer must name a file inside the data folder (no absolute path, no ".."):
// the tool writes where the scenario says, and a fuzzer must not write outside its own folder.
//
// Properties checked besides the sanitizers: a parsed scenario has its events in time order with rising
// line numbers; a failure names a line of the text and a reason; every run ends normally.
#include "FuzzSupport.h"

#include "ReplayRunner.h"
#include "Scenario.h"

#include <QBuffer>
#include <QDir>
#include <QTextStream>

using namespace lorimet;
using namespace lorimet::replay;

namespace {

constexpr qint64 kMaxVirtualMs = 150'000;
constexpr size_t kMaxEvents = 2000;

bool runnable(const Scenario& s) {
    if (s.events.size() > kMaxEvents || (!s.events.empty() && s.events.back().timeMs > kMaxVirtualMs))
        return false;
    for (const Event& e : s.events)
        if (e.verb == Verb::SaveAs && e.save && (QDir::isAbsolutePath(e.text) || e.text.contains(u"..")))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::initialise(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ParseError error;
    const auto scenario = parseScenario(text, error);

    // The tool reads the file as it runs: the same bytes must give the same verdict and the same events.
    QBuffer file;
    file.setData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    file.open(QIODevice::ReadOnly);
    ScenarioFile streamed(file);
    ParseError streamedError;
    const bool streamedOk = streamed.check(streamedError);
    fuzz::check(streamedOk == scenario.has_value(), "the file reader and the text parser disagree");
    if (!streamedOk)
        fuzz::check(streamedError.lineNumber == error.lineNumber, "the file reader blames another line",
                    QString::number(streamedError.lineNumber) + u' ' + QString::number(error.lineNumber));
    if (streamedOk) {
        size_t k = 0;
        for (; streamed.peek() != nullptr; ++k) {
            const Event e = streamed.take();
            fuzz::check(k < scenario->events.size() && e.timeMs == scenario->events[k].timeMs &&
                            e.lineNumber == scenario->events[k].lineNumber &&
                            e.verb == scenario->events[k].verb,
                        "the file reader gives other events");
        }
        fuzz::check(k == scenario->events.size(), "the file reader gives fewer events");
        fuzz::check(streamed.date == scenario->date && streamed.time == scenario->time,
                    "the file reader gives another header");
    }
    if (!scenario) {
        const qsizetype lineCount = text.count(u'\n') + 1;
        fuzz::check(error.lineNumber >= 1 && error.lineNumber <= lineCount,
                    "the error names no line of the text", QString::number(error.lineNumber));
        fuzz::check(!error.reason.trimmed().isEmpty(), "an error without a reason");
        return 0;
    }
    qint64 lastMs = 0;
    int lastLine = 0;
    for (const Event& e : scenario->events) {
        fuzz::check(e.timeMs >= lastMs, "events out of time order");
        fuzz::check(e.lineNumber > lastLine, "events out of line order");
        fuzz::check(e.verb != Verb::Raw || !e.bytes.isEmpty(), "raw event without bytes");
        lastMs = e.timeMs;
        lastLine = e.lineNumber;
    }
    if (!runnable(*scenario))
        return 0;

    const QString dataFolder = fuzz::freshFolder(QStringLiteral("scenario"));
    QString transcript;
    QTextStream out(&transcript);
    const RunResult result = runScenario(*scenario, dataFolder, out);
    out.flush();
    fuzz::check(result.exitCode == 0, "a scenario run failed", result.error);
    return 0;
}
