#include "text/TimeText.h"

namespace lorimet {

QString timeText(const QTime& time) {
    return time.toString(QStringLiteral("hh:mm:ss"));
}

QString dateText(const QDate& date) {
    return date.toString(QStringLiteral("dd.MM.yy")) + QStringLiteral(" г");
}

QString durationText(qint64 elapsedMs) {
    if (elapsedMs < 0)
        elapsedMs = 0;
    const qint64 seconds = elapsedMs / 1000;
    return QStringLiteral("%1:%2")
        .arg((seconds / 60) % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

} // namespace lorimet
