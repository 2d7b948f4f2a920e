#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lorimet::texts {

// The fixed vocabulary, used by index. Multi-line texts separate their lines with a single CR.
const QStringList& statusTexts();      // 9
const QStringList& promptTexts();      // 7
const QStringList& operatorMessages(); // 15
QByteArray deviceCode(int index);      // 51 parameter byte strings; out-of-range indexes give nothing

// 0xA1 0xA2, frequency byte, 0xA3, two delay bytes: one write.
QByteArray startCommand(int interruptFrequency, int transportDelay);

inline const QByteArray kEndOfOperation("\xA4", 1);
inline const QByteArray kUpperPoint("\xAB", 1);
inline const QByteArray kLineRefused("\xA1", 1);
inline const QByteArray kRestoreFactory("\xA5", 1);
inline const QByteArray kSaveFactory("\xA6", 1);

inline const QString kCalibration = QStringLiteral("Калибровка");
inline const QString kAnalysis = QStringLiteral("Анализ пробы");
inline const QString kPreparation = QStringLiteral("Подготовка");
inline const QString kCancelled = QStringLiteral("Отмена операции");
inline const QString kStopped = QStringLiteral("Процесс остановлен");
inline const QString kError = QStringLiteral("Ошибка");
inline const QString kWarning = QStringLiteral("Внимание");
inline const QString kInformation = QStringLiteral("Информация");
inline const QString kMeasuring = QStringLiteral("изм.");
inline const QString kPreparing = QStringLiteral("под.");
// The standing warning while the day file cannot be written.
inline const QString kDayFileNotSaved =
    QStringLiteral("Протокол дня не записан на диск ! Сохраните его (Ctrl+D)");
inline const QString kBadNumber = QStringLiteral("Неверный формат числа,\r    повторите ввод!   ");

// What follows the box of a port that did not open: a line with the system's reason and, when the account
// may not use the device, what to do about it. Empty when the system said nothing.
QString portFailureLines(const QString& reason, bool accessDenied, const QString& group,
                         const QString& account);

// The question before the program ends while the operation named runs (its OperationName).
QString exitWhileRunningQuestion(const QString& operationName);

} // namespace lorimet::texts
