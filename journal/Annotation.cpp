#include "journal/Annotation.h"

#include "journal/Recorder.h"

#include <QDateTime>
#include <QUuid>

namespace lorimet::journal {

Record makeAnnotation(const Station& station, const Record& target, const QString& note, bool invalid,
                      const QString& appVersion) {
    const QString now = isoTime(QDateTime::currentDateTime());
    Record r;
    r.set(u"id", QUuid::createUuid().toString(QUuid::WithoutBraces));
    r.set(u"kind", QStringLiteral("annotation"));
    r.set(u"status", QStringLiteral("completed"));
    r.set(u"station", station.id);
    r.set(u"station_name", station.name);
    r.set(u"operator", systemAccount());
    r.set(u"source", QStringLiteral("live"));
    r.set(u"started_at", now);
    r.set(u"finished_at", now);
    r.set(u"corrects", target.text(u"id"));
    r.set(u"note", note.trimmed());
    r.set(u"invalidates", invalid);
    r.set(u"app_version", appVersion);
    return r;
}

} // namespace lorimet::journal
