// Start-up and the close sequence, the day protocol, its day file and the Temp folder sweep.
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"
#include "text/Cp1251.h"
#include "text/NumberFormat.h"
#include "text/SafeFile.h"

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

// A day file that was read only in part is kept beside it under this suffix before it is written again.
const QString kDamagedSuffix = QStringLiteral(".damaged");

// "….tmp.damaged", "….tmp.damaged-2" …: the original of a damaged day file. It holds what the program could
// not read, so only the operator may remove it: the sweep neither deletes it nor offers it as a day file.
bool isKeptDamagedFile(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("\\.damaged(-[0-9]+)?$"));
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

bool Engine::confirmExit() {
    if (workflow_.closed || acq_.operationName.isEmpty())
        return true;
    return box(BeepKind::Warning, texts::kWarning, texts::exitWhileRunningQuestion(acq_.operationName),
               Buttons::NoYes) == Answer::Yes;
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

bool Engine::KeepDamagedDayFile(const QString& path, QString& reason) {
    if (damagedDayFile_ != path)
        return true;
    if (!QFileInfo(path).isFile()) {
        damagedDayFile_.clear(); // gone since, or replaced by something that holds nothing
        return true;
    }
    if (!keepCopyBeside(path, kDamagedSuffix, nullptr, &reason))
        return false;
    damagedDayFile_.clear();
    return true;
}

void Engine::SaveDayFile() {
    // A day whose file fell behind before the date changed is still owed to its own file.
    if (unsavedDay_ && unsavedDay_->path != dayFilePath() &&
        writeProtocolFile(unsavedDay_->path, unsavedDay_->lines))
        unsavedDay_.reset();
    if (dayProtocol_.isEmpty())
        return;
    QDir().mkpath(dataFolder_ + QStringLiteral("/Temp"));
    const QString path = dayFilePath();
    QString reason;
    if (KeepDamagedDayFile(path, reason) && writeProtocolFile(path, dayProtocol_, &reason)) {
        unsavedDay_.reset();
        if (dayFileFailing_) {
            dayFileFailing_ = false;
            display_.setDayFileWarning(QString());
        }
        return;
    }
    // The results of the day now live in memory only: the operator must know, once, and the status area
    // keeps saying so until a save succeeds.
    unsavedDay_ = UnsavedDay{path, dayProtocol_};
    if (!dayFileFailing_) {
        dayFileFailing_ = true;
        display_.setDayFileWarning(texts::kDayFileNotSaved);
        box(BeepKind::Error, texts::kError,
            texts::operatorMessages()[1] + QFileInfo(path).fileName() + QStringLiteral(" !\r") + reason);
    }
}

void Engine::RestoreDayProtocol() {
    std::optional<QStringList> lines;
    if (unsavedDay_ && unsavedDay_->path == dayFilePath()) {
        lines = unsavedDay_->lines; // the file is behind: it would bring back an older day
    } else {
        bool bytesLeft = false;
        lines = readProtocolFile(dayFilePath(), &bytesLeft);
        if (bytesLeft)
            damagedDayFile_ = dayFilePath();
    }
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
        if (isKeptDamagedFile(name))
            continue;
        // Only a regular file can be a day file: a FIFO or a device there holds nothing to save.
        if (name != today && name.startsWith(QStringLiteral("Протокол от")) && !isSaveLeftover(name) &&
            entry.isFile() && workflow_.dateChangeCount == 0) {
            const Answer answer =
                box(BeepKind::Warning, texts::kWarning,
                    name + QStringLiteral(" не был сохранён !\rСохранить этот файл ?"), Buttons::YesNo);
            if (answer == Answer::Yes) {
                const auto target = AskProtocolSaveName();
                if (!target) {
                    keep = true;
                } else {
                    bool bytesLeft = false;
                    const auto content = readProtocolFile(entry.filePath(), &bytesLeft);
                    if (!content || !writeProtocolFile(*target, *content)) {
                        // The results exist only in this file: keep it rather than lose them.
                        keep = true;
                        box(BeepKind::Error, texts::kError,
                            texts::operatorMessages()[1] + QFileInfo(*target).fileName() +
                                QStringLiteral(" !"));
                    } else if (bytesLeft && !keepCopyBeside(entry.filePath(), kDamagedSuffix)) {
                        keep = true; // what could not be read is still in there
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
    filter_.a = filterAOfPosition(position);
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
