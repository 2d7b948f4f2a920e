// Saving the day protocol under a chosen name and opening a saved protocol file.
#include "engine/Engine.h"
#include "engine/Texts.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolFile.h"
#include "text/FileNames.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace lorimet {

std::optional<QString> Engine::AskProtocolSaveName() {
    // The folder of the day may be gone (the date changed while running, or the folder of the last file
    // opened was removed); the dialog should still open where the operator expects it.
    QDir().mkpath(workflow_.reportFolder);
    const auto chosen = operator_.saveFileName(
        QStringLiteral("Сохранить файл протокола..."), workflow_.reportFolder,
        QStringLiteral("Протокол от ") + workflow_.dateText, QStringLiteral("Текстовый файл (*.txt)|*.txt"));
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    return withExtension(*chosen, QStringLiteral("txt"));
}

void Engine::SaveProtocolClick() {
    const auto target = AskProtocolSaveName();
    if (!target)
        return;
    if (!writeProtocolFile(*target, dayProtocol_))
        box(BeepKind::Error, texts::kError,
            texts::operatorMessages()[1] + QFileInfo(*target).fileName() + QStringLiteral(" !"));
}

void Engine::ShowFileBlock(const ProtocolBlock& block, const QTime& firstBlockTime) {
    workflow_.probeDescription = block.description;
    res_.rateResult = block.rateResult;
    // A file's row shows what its block holds, whatever kind of analysis ran last before it was opened.
    acq_.analysisKind.clear();
    if (block.rangeResult) {
        res_.rangeResult = *block.rangeResult;
        acq_.analysisKind = QStringLiteral("Full");
    }
    res_.toxicityTest = block.toxicityResult.has_value();
    if (block.toxicityResult)
        res_.toxicityResult = *block.toxicityResult;
    res_.temperatureSum = block.temperature;
    workflow_.runDurationText = block.durationText;
    workflow_.runEndTimeText = block.endTimeText;
    // The row takes its date from the block. Today's date is put back at once: left for the timer tick to
    // find, it would count as a change of day, and the exit sweep would then delete earlier days' unsaved
    // day files without asking.
    const QString today = workflow_.dateText;
    workflow_.dateText = block.dateText;

    if (acq_.probeCounter == 0) {
        display_.setAxisTitle(Axis::Left, QStringLiteral("Сигнал - S: Кислород %нас."));
        display_.setAxisTitle(Axis::Right, QStringLiteral("Производная - S': Сигнал / Время"));
    }
    display_.addFileCurvePair(block.elapsedTimes, block.signals, block.derivatives, block.description);
    // The axes grow to the block's largest values, as they would point by point.
    if (!block.signals.isEmpty()) {
        ExtendAxis(Axis::Left, *std::max_element(block.signals.cbegin(), block.signals.cend()));
        ExtendAxis(Axis::Right, *std::max_element(block.derivatives.cbegin(), block.derivatives.cend()));
    }
    display_.addPoint(Series::Temperature, firstBlockTime.msecsTo(block.endTime) / 86400000.0,
                      block.temperature);

    AddResultRow();
    workflow_.dateText = today;
    acq_.currentSample = 0;
    acq_.analysisKind.clear();
    res_.toxicityTest = false;
}

void Engine::HideLoadProgress() {
    display_.loadFinished();
    ShowStatusText(0);
    runDataLines_.clear();
    acq_.operationName.clear();
}

void Engine::OpenClick() {
    const auto path = operator_.openFileName(QStringLiteral("Открыть файл протокола..."),
                                             dataFolder_ + QStringLiteral("/Reports"),
                                             QStringLiteral("Файлы протокола (*.txt)|*.txt"));
    if (!path)
        return;
    ClearSession();

    const auto lines = readProtocolFile(*path);
    ShowStatusText(8);
    display_.setLoadProgress(0);
    acq_.currentSample = 0;
    acq_.probeCounter = 0;

    // Whatever was drawn before damage stays until the next clearing, which must remove it: so a file that
    // fails part-way is a file view too.
    const auto fail = [this] {
        HideLoadProgress();
        workflow_.fileViewActive = true;
        box(BeepKind::Error, texts::kError, texts::operatorMessages()[8]);
    };
    if (!lines) {
        fail();
        return;
    }

    const ProtocolFileContent content = parseProtocolFile(*lines);
    const qsizetype lastLine = lines->size() - 1;
    QTime firstBlockTime;
    for (const ProtocolBlock& block : content.blocks) {
        if (acq_.probeCounter == 0)
            firstBlockTime = block.endTime;
        ShowFileBlock(block, firstBlockTime);
        display_.setLoadProgress(static_cast<int>(block.lastLine * 100 / lastLine));
        ++acq_.probeCounter;
    }
    if (content.damaged) {
        fail();
        return;
    }

    const QString fileName = QFileInfo(*path).fileName();
    const qsizetype extension = fileName.indexOf(QStringLiteral(".txt"));
    acq_.plotTitleLines.append(extension >= 0 ? fileName.left(extension) : QString());
    display_.setPlotTitle(acq_.plotTitleLines);

    protocolLines_.assign(*lines);
    display_.protocolFileShown(QStringLiteral("Файл протокола: ") + fileName);

    workflow_.reportFolder = QFileInfo(*path).absolutePath();
    workflow_.fileViewActive = true;
    HideLoadProgress();
}

} // namespace lorimet
