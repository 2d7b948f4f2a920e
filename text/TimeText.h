#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace lorimet {

QString timeText(const QTime& time);    // "hh:mm:ss"
QString dateText(const QDate& date);    // "dd.mm.yy г", the name of the day folder and the day file
QString durationText(qint64 elapsedMs); // "nn:ss": minutes (mod 60) and whole seconds of a run

} // namespace lorimet
