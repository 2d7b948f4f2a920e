#include "Import.h"

#include "journal/Sha256.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolFile.h"

#include <QDateTime>
#include <QFileInfo>

#include <cmath>

namespace lorimet::journal {

namespace {

// "06.12.26 г": the century is this program's.
QDate protocolDate(const QString& text) {
    const QDate d = QDate::fromString(text.trimmed().left(8), QStringLiteral("dd.MM.yy"));
    return d.isValid() ? d.addYears(100) : QDate();
}

} // namespace

std::optional<ImportedFile> importProtocolFile(const QString& path) {
    const auto lines = readProtocolFile(path);
    if (!lines)
        return std::nullopt;
    const ProtocolFileContent content = parseProtocolFile(*lines);
    ImportedFile out;
    out.damaged = content.damaged;
    out.damageLine = content.damageLine;
    const QString source = QStringLiteral("import:") + QFileInfo(path).fileName();
    for (const ProtocolBlock& b : content.blocks) {
        Record r;
        r.set(u"kind", QStringLiteral("analysis"));
        r.set(u"status", QStringLiteral("completed"));
        r.set(u"source", source);
        const QDate date = protocolDate(b.dateText);
        if (date.isValid() && b.endTime.isValid())
            r.set(u"finished_at", isoTime(QDateTime(date, b.endTime)));
        r.set(u"description", b.description);
        r.set(u"analysis_kind", b.rangeResult ? QStringLiteral("Full") : QStringLiteral("Small"));
        r.set(u"bod_initial", b.rateResult);
        if (b.rangeResult)
            r.set(u"bod_final", *b.rangeResult);
        if (b.toxicityResult)
            r.set(u"toxicity", *b.toxicityResult);
        r.set(u"mean_temperature", b.temperature);
        // The file keeps the smoothed signal only: it stands for the raw signal as well.
        for (qsizetype i = 0; i < b.signals.size(); ++i) {
            const QString& text = (*lines)[b.firstLine + 1 + i];
            const qint64 ms = std::llround(b.elapsedTimes[i] * 86'400'000.0);
            r.lines.push_back({ms, text, b.signals[i], b.signals[i], b.derivatives[i], b.temperature});
        }
        Sha256 key;
        for (qsizetype i = b.firstLine; i <= b.lastLine; ++i) {
            key.addData((*lines)[i].toUtf8());
            key.addData(QByteArrayView("\n"));
        }
        r.set(u"import_key", QString::fromLatin1(key.hexResult()));
        out.records.push_back(std::move(r));
    }
    return out;
}

} // namespace lorimet::journal
