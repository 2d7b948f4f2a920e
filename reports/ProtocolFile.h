#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTime>

#include <optional>
#include <vector>

namespace lorimet {

// One block of a protocol file, read back by the fixed positions the writer uses (see ProtocolText.h).
struct ProtocolBlock {
    // One entry per data line. Elapsed times are day fractions: the written value (units of 1e-5 day, cut
    // to 1e-6 day) less half a unit, so a point lands in the middle of the interval it was cut from.
    QList<double> elapsedTimes;
    QList<double> signals;
    QList<double> derivatives;

    QString description;
    double rateResult = 0;                // result line, characters 6-11
    std::optional<double> rangeResult;    // only when characters 13-16 are "БПК=": a full analysis
    std::optional<double> toxicityResult; // only when characters 13-14 are "ОТ"
    double temperature = 0;               // temperature line, characters 3-7
    QString durationText;                 // temperature line, characters 14-18 as they stand
    QString endTimeText;                  // time line, characters 8-15 as they stand
    QTime endTime;                        // endTimeText as a time of day
    QString dateText;                     // time line, characters 23-32 as they stand

    qsizetype firstLine = 0; // index of the block's count line
    qsizetype lastLine = 0;  // index of the block's time and date line
};

struct ProtocolFileContent {
    std::vector<ProtocolBlock> blocks; // the complete blocks, in file order
    bool damaged = false;
    // Where reading stopped on damage: the line that did not convert, or the count line of a block that
    // the end of the text cuts short. -1 when not damaged.
    qsizetype damageLine = -1;
};

// Reads a protocol text block by block. A count line of 0 announces nothing and is passed over; a negative
// one announces a block without data lines. Damage ends the reading and keeps the complete blocks before
// it: a count line that is not an integer, a block that needs more lines than the text still has, a number
// or time field that does not convert, a time line cut short before the end of its date, and a text of
// exactly one line (it cannot hold a block). An empty text is no damage. Numbers
// use the comma; leading and trailing blanks around a field are accepted.
ProtocolFileContent parseProtocolFile(const QStringList& lines);

// A time of day "h:mm" or "h:mm:ss" (one or two digits a field), blanks around it accepted.
std::optional<QTime> parseTimeOfDay(QStringView text);

} // namespace lorimet
