// Start-up and the close sequence, the day protocol, its day file and the Temp folder sweep.
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"
#include "text/Cp1251.h"
#include "text/NumberFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace lorimet {

namespace {

// A day file saved atomically is first written beside the target, under the target's name and six more
// letters, then renamed over it. A program killed between the two leaves that file behind: it is no day
// file of another day, and the day file itself holds the day.
bool isSaveLeftover(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^Протокол от .*\\.tmp\\.[A-Za-z0-9]{6}$"));
    return pattern.match(name).hasMatch();
}

} // namespace

Engine::Engine(Configuration& config, Display& display, Operator& op, AnalyserLink& link, Clock& clock,
               const QString& dataFolder)
    : config_(config), display_(display), operator_(op), link_(link), clock_(clock), dataFolder_(dataFolder) {
    const Settings& s = config_.settings();
    port_ = s.port;
    interruptFrequency_ = s.interruptFrequency;
    transportDelay_ = s.transportDelay;
    filter_ = {s.filterA, s.filterCycles, s.filterWindow};
    enabled_.fill(false);
    enabled_[static_cast<size_t>(Command::SampleOk)] = true;
    enabled_[static_cast<size_t>(Command::GsoOk)] = true;
    table_.changed = [this] { display_.tableChanged(); };
}

QString Engine::reportsDayFolder() const {
    return dataFolder_ + QStringLiteral("/Reports/") + workflow_.dateText;
}

QString Engine::dayFilePath() const {
    return dataFolder_ + QStringLiteral("/Temp/") + dayFileName(workflow_.dateText);
}

void Engine::startUp() {
    acq_.operationName.clear();
    ShowStatusText(0);
    workflow_.dateText = currentDateText();
    display_.setLabelText(Label::Date, workflow_.dateText);
    SetLinkCommandStates(false);
    table_.writeHeadings();
    QDir().mkpath(reportsDayFolder());
    QDir().mkpath(dataFolder_ + QStringLiteral("/Temp"));
    RestoreDayProtocol();
    workflow_.reportFolder = reportsDayFolder();
    res_.operatingState = 0;
}

void Engine::closeSequence() {
    if (workflow_.closed)
        return;
    workflow_.closed = true;
    if (workflow_.linkActive)
        StopLink();
    else
        RestoreDayProtocol();
    SweepTempFolder(dataFolder_ + QStringLiteral("/Temp"));
    if (!dayProtocol_.isEmpty())
        SaveDayFile();
    config_.save(dataFolder_);
    QDir().rmdir(reportsDayFolder()); // only when nothing was saved into it
}

void Engine::AppendRunDataLine() {
    const size_t i = static_cast<size_t>(acq_.currentSample);
    runDataLines_.append(dataLine(acq_.signals[i], acq_.derivatives[i], acq_.elapsedTimes[i]));
}

void Engine::AppendProtocolBlock() {
    dayProtocol_.append(QString::number(acq_.currentSample + 1));
    dayProtocol_.append(runDataLines_);
    runDataLines_.clear();
    dayProtocol_.append(workflow_.probeDescription);
    dayProtocol_.append(resultLine(res_.rateResult, acq_.analysisKind == u"Full", res_.rangeResult,
                                   res_.toxicityTest, res_.toxicityResult));
    dayProtocol_.append(temperatureLine(res_.temperatureSum, workflow_.runDurationText));
    dayProtocol_.append(timeDateLine(workflow_.runEndTimeText, workflow_.dateText));
    probeDescriptions_.append(workflow_.probeDescription);
}

void Engine::AddResultRow() {
    const bool full = acq_.analysisKind == u"Full";
    table_.addResultRow(acq_.probeCounter, workflow_.probeDescription, res_.rateResult,
                        full ? std::optional<double>(res_.rangeResult) : std::nullopt,
                        res_.toxicityTest ? std::optional<double>(res_.toxicityResult) : std::nullopt,
                        res_.temperatureSum, workflow_.runDurationText, workflow_.runEndTimeText,
                        workflow_.dateText);
    ReportRow row;
    const int r = acq_.probeCounter + 1;
    for (int c = 0; c < ReportTable::kColumns; ++c)
        row[static_cast<size_t>(c)] = table_.cell(r, c);
    display_.resultRowAdded(row);
}

void Engine::SaveDayFile() {
    if (dayProtocol_.isEmpty())
        return;
    QDir().mkpath(dataFolder_ + QStringLiteral("/Temp"));
    writeProtocolFile(dayFilePath(), dayProtocol_); // a failure here is silent; the next save tries again
}

void Engine::RestoreDayProtocol() {
    const auto lines = readProtocolFile(dayFilePath());
    if (!lines)
        return;
    dayProtocol_ = *lines;
    probeDescriptions_.clear();
    // The view catches up once with the whole day, not once per row.
    const RebuildResult rebuilt = [&] {
        ReportTable::Batch batch(table_);
        return rebuildTable(dayProtocol_, table_);
    }();
    acq_.probeCounter = rebuilt.probeCounter;
    probeDescriptions_ = rebuilt.descriptions;
    if (rebuilt.complete)
        display_.setProbeDescriptions(probeDescriptions_);
}

void Engine::SweepTempFolder(const QString& folder) {
    const QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    const QString today = dayFileName(workflow_.dateText);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        bool keep = false;
        if (name != today && name.startsWith(QStringLiteral("Протокол от")) && !isSaveLeftover(name) &&
            workflow_.dateChangeCount == 0) {
            const Answer answer =
                box(BeepKind::Warning, texts::kWarning,
                    name + QStringLiteral(" не был сохранён !\rСохранить этот файл ?"), Buttons::YesNo);
            if (answer == Answer::Yes) {
                const auto target = AskProtocolSaveName();
                if (!target) {
                    keep = true;
                } else {
                    const auto content = readProtocolFile(entry.filePath());
                    if (!content || !writeProtocolFile(*target, *content)) {
                        // The results exist only in this file: keep it rather than lose them.
                        keep = true;
                        box(BeepKind::Error, texts::kError,
                            texts::operatorMessages()[1] + QFileInfo(*target).fileName() +
                                QStringLiteral(" !"));
                    }
                }
            }
        }
        if (entry.isDir() && !entry.isSymLink()) {
            SweepTempFolder(entry.filePath());
            continue;
        }
        QFile file(entry.filePath());
        file.setPermissions(file.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
        // Today's file stays until the exit writes it again over it: deleted now, the day's results would
        // live only in memory while the sweep waits for the operator's answers, and a crash would lose them.
        if (!dayProtocol_.isEmpty() &&
            entry.absoluteFilePath() == QFileInfo(dayFilePath()).absoluteFilePath())
            continue;
        if (!keep && !file.remove())
            box(BeepKind::Error, texts::kError, texts::operatorMessages()[5] + name);
    }
}

void Engine::setFilterPosition(int position) {
    filter_.a = std::clamp(position, 1, 91) / 100.0;
}

void Engine::resetPortAndFilter() {
    // The default configuration's values, on everything at once.
    const Settings defaults;
    interruptFrequency_ = defaults.interruptFrequency;
    transportDelay_ = defaults.transportDelay;
    filter_ = {defaults.filterA, defaults.filterCycles, defaults.filterWindow};
}

void Engine::savePortAndFilter() {
    config_.writePortAndFilterLines(port_, formatNumber(filter_.a, u"0.00"), filter_.cycles, filter_.window,
                                    interruptFrequency_, transportDelay_);
}

} // namespace lorimet
