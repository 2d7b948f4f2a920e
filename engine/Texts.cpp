#include "engine/Texts.h"

namespace lorimet::texts {

const QStringList& statusTexts() {
    static const QStringList texts = {
        QStringLiteral("Связь с прибором не установлена !"),
        QStringLiteral("Прибор в режиме протоколирования данных ! Ждите..."),
        QStringLiteral("Прибор готов к калибровке по раствору ГСО !"),
        QStringLiteral("Прибор готов к проведению измерений !"),
        QStringLiteral("Прибор проводит калибровку по раствору ГСО ! Ждите..."),
        QStringLiteral("Прибор проводит анализ пробы ! Ждите..."),
        QStringLiteral("Прибор проводит калибровку по верхней точке ! Ждите..."),
        QStringLiteral("Прибор в режиме подготовки к проведению измерений ! Ждите..."),
        QString(60, u' ') + QStringLiteral("Загружаются данные ! Ждите..."),
    };
    return texts;
}

const QStringList& promptTexts() {
    static const QStringList texts = {
        QStringLiteral("Для проведения калибровки по ГСО:\r1. Введите пробу (раствор ГСО !).\r"
                       "2. Поверните ручку коммутатора   \r    в указанное положение."),
        QStringLiteral("Для проведения анализа пробы:   \r1. Введите подготовленную пробу.\r"
                       "2. Поверните ручку коммутатора  \r    в указанное положение."),
        QStringLiteral(
            "Калибровка по ГСО успешно завершена !\rПоверните ручку коммутатора в\rуказанное положение."),
        QStringLiteral(
            "Анализ пробы успешно завершён !\rПоверните ручку коммутатора в\rуказанное положение."),
        QStringLiteral(
            "Процесс вычислений остановлен !\rПоверните ручку коммутатора в\rуказанное положение."),
        QStringLiteral("БПК в пробе превышает 200 мг/л !\rПоверните ручку коммутатора в\r"
                       "указанное положение. Повторите\rанализ с разведением пробы."),
        QStringLiteral("Параметры не заданы !\rПоверните ручку коммутатора в\rуказанное положение."),
    };
    return texts;
}

const QStringList& operatorMessages() {
    // Entries 7 and 12 start with the Latin C, as the instrument's operators have always seen them.
    static const QStringList texts = {
        QStringLiteral("Нет доступа к последовательному порту "),
        QStringLiteral("Невозможно записать файл "),
        QStringLiteral("Калибровка по верхней точке невозможна,\r       - низкий уровень сигнала !      "),
        QStringLiteral("Калибровка прибора по верхней точке успешно завершена !\r"
                       "  Для калибровки прибора по раствору ГСО нажмите ОК.   "),
        QStringLiteral("Программа провела корректировку по верхней точке !\r"
                       "Для калибровки прибора по раствору ГСО нажмите ОК."),
        QStringLiteral("Невозможно удалить файл "),
        QStringLiteral("Невозможно установить связь с прибором !"),
        QStringLiteral("Cвязь с прибором - прервана !"),
        QStringLiteral("Файл не содержит данных или повреждён !"),
        QStringLiteral("MS Excel не установлен !"),
        QStringLiteral("Принтер не установлен !"),
        QStringLiteral("Процесс вычислений остановлен !"),
        QStringLiteral("Cвязь с прибором не установлена !"),
        QStringLiteral("Заводские установки восстановлены !"),
        QStringLiteral("Заводские установки сохранены !"),
    };
    return texts;
}

QByteArray deviceCode(int index) {
    if (index >= 1 && index <= 30) {
        // The analyser takes 20 s as 20001 ms; every other delay is whole seconds.
        const int ms = index == 20 ? 20001 : index * 1000;
        QByteArray bytes(2, Qt::Uninitialized);
        bytes[0] = static_cast<char>((ms >> 8) & 0xFF);
        bytes[1] = static_cast<char>(ms & 0xFF);
        return bytes;
    }
    if (index >= 31 && index <= 50)
        return QByteArray(1, static_cast<char>(index - 30));
    return {};
}

QByteArray startCommand(int interruptFrequency, int transportDelay) {
    return QByteArray("\xA1\xA2", 2) + deviceCode(30 + interruptFrequency) + QByteArray("\xA3", 1) +
           deviceCode(transportDelay);
}

QString portFailureLines(const QString& reason, bool accessDenied, const QString& group,
                         const QString& account) {
    if (reason.trimmed().isEmpty())
        return {};
    QString lines = QStringLiteral("\rПричина: ") + reason.trimmed();
    if (accessDenied) {
        // Serial devices belong to the group dialout on Debian and its kin; a device that names another
        // group with the right to it names the one that helps. A new membership counts from the next login.
        const QString g = group.isEmpty() ? QStringLiteral("dialout") : group;
        const QString user = account.isEmpty() ? QStringLiteral("$USER") : account;
        lines += QStringLiteral("\rНет прав на порт: добавьте пользователя %2 в группу %1\r"
                                "(sudo usermod -aG %1 %2) и войдите в систему заново.")
                     .arg(g, user);
    }
    return lines;
}

QString exitWhileRunningQuestion(const QString& operationName) {
    if (operationName == kCalibration)
        return QStringLiteral("Идёт калибровка по ГСО !\rПри выходе из программы калибровка будет потеряна.\r"
                              "Завершить работу программы ?");
    return QStringLiteral("Идёт анализ пробы !\rПри выходе из программы анализ будет потерян.\r"
                          "Завершить работу программы ?");
}

} // namespace lorimet::texts
