#include "reports/ProtocolFile.h"

#include "text/Numbers.h"

#include <algorithm>

namespace lorimet {

namespace {

// Characters first .. first + count - 1 (1-based), shorter or empty where the line is short.
QStringView chars(const QString& line, qsizetype first, qsizetype count) {
    return QStringView(line).mid(first - 1).left(count);
}

// Fields are cut by position, so a number may bring the blank after it along ("045,7 " of "ОТ=045,7 %").
std::optional<double> fieldReal(QStringView field) {
    while (!field.isEmpty() && field.back() == u' ')
        field.chop(1);
    return parseFileReal(field);
}

std::optional<int> twoDigits(QStringView text, int maximum) {
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    int value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > maximum)
        return std::nullopt;
    return value;
}

// Reads the block whose count line is lines[a] (count n > 0 already read). False on damage, with the
// offending line in damageLine.
bool readBlock(const QStringList& lines, qsizetype a, qsizetype n, ProtocolBlock& block,
               qsizetype& damageLine) {
    block.firstLine = a;
    block.elapsedTimes.reserve(n);
    block.signals.reserve(n);
    block.derivatives.reserve(n);
    qsizetype i = a + 1;
    for (; i <= a + n; ++i) {
        const QString& line = lines[i];
        const auto signal = fieldReal(chars(line, 3, 8));
        const auto derivative = fieldReal(chars(line, 15, 8));
        const auto time = fieldReal(chars(line, 26, 5));
        if (!signal || !derivative || !time) {
            damageLine = i;
            return false;
        }
        block.signals.append(*signal);
        block.derivatives.append(*derivative);
        block.elapsedTimes.append((*time - 0.5) / 100000.0);
    }

    block.description = lines[i++];

    const QString& result = lines[i];
    const auto rate = fieldReal(chars(result, 6, 6));
    if (!rate) {
        damageLine = i;
        return false;
    }
    block.rateResult = *rate;
    if (chars(result, 13, 4) == u"БПК=") {
        const auto range = fieldReal(chars(result, 17, 6));
        if (!range) {
            damageLine = i;
            return false;
        }
        block.rangeResult = *range;
    }
    if (chars(result, 13, 2) == u"ОТ") {
        const auto toxicity = fieldReal(chars(result, 16, 6));
        if (!toxicity) {
            damageLine = i;
            return false;
        }
        block.toxicityResult = *toxicity;
    }
    ++i;

    const QString& temperatureLine = lines[i];
    const auto temperature = fieldReal(chars(temperatureLine, 3, 5));
    if (!temperature) {
        damageLine = i;
        return false;
    }
    block.temperature = *temperature;
    block.durationText = chars(temperatureLine, 14, 5).toString();
    ++i;

    const QString& timeLine = lines[i];
    block.endTimeText = chars(timeLine, 8, 8).toString();
    block.dateText = chars(timeLine, 23, 10).toString();
    const auto endTime = parseTimeOfDay(block.endTimeText);
    // A line cut short before the end of its date ("Время: 09:09:0") is what a lost write leaves behind.
    if (!endTime || block.dateText.size() < 10) {
        damageLine = i;
        return false;
    }
    block.endTime = *endTime;
    block.lastLine = i;
    return true;
}

} // namespace

std::optional<QTime> parseTimeOfDay(QStringView text) {
    const QStringView trimmed = text.trimmed();
    const auto parts = trimmed.split(u':');
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    const auto hours = twoDigits(parts[0], 23);
    const auto minutes = twoDigits(parts[1], 59);
    const auto seconds = parts.size() == 3 ? twoDigits(parts[2], 59) : std::optional<int>(0);
    if (!hours || !minutes || !seconds)
        return std::nullopt;
    return QTime(*hours, *minutes, *seconds);
}

ProtocolFileContent parseProtocolFile(const QStringList& lines) {
    ProtocolFileContent content;
    const qsizetype lineCount = lines.size();
    // One line can never be a whole block; it is refused before anything is read.
    if (lineCount == 1) {
        content.damaged = true;
        content.damageLine = 0;
        return content;
    }
    qsizetype a = 0;
    while (a < lineCount) {
        const auto count = parseInteger(lines[a]);
        if (!count) {
            content.damaged = true;
            content.damageLine = a;
            return content;
        }
        if (*count == 0) {
            ++a;
            continue;
        }
        // A negative count announces a block without data lines: the description follows at once. The
        // count is checked against the lines still there before anything is sized by it, so a damaged
        // count costs nothing.
        const qsizetype n = std::max(*count, 0);
        if (n + 4 >= lineCount - a) {
            content.damaged = true;
            content.damageLine = a;
            return content;
        }
        ProtocolBlock block;
        if (!readBlock(lines, a, n, block, content.damageLine)) {
            content.damaged = true;
            return content;
        }
        a = block.lastLine + 1;
        content.blocks.push_back(std::move(block));
    }
    return content;
}

} // namespace lorimet
