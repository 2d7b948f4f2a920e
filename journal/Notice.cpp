#include "journal/Notice.h"

#include <QFileInfo>

namespace lorimet::journal {

QString operatorText(const JournalNotice& notice) {
    switch (notice.kind) {
    case JournalNotice::Kind::KeptAside:
        return QStringLiteral("Журнал результатов был повреждён: он сохранён как «%1», начат новый. "
                              "Файл дня ведётся как обычно.")
            .arg(QFileInfo(notice.detail).fileName());
    case JournalNotice::Kind::Unavailable:
        return QStringLiteral("Журнал результатов недоступен: результаты этого сеанса в журнал не "
                              "записываются (файл дня ведётся как обычно).");
    case JournalNotice::Kind::NotWritten:
        return QStringLiteral("Результат не записан в журнал результатов (он есть в файле дня; его можно "
                              "добавить командой lorimet-journal import).");
    case JournalNotice::Kind::UrlRefused:
        return QStringLiteral("Адрес сервера журнала не принят: записи остаются в журнале этого "
                              "компьютера.");
    case JournalNotice::Kind::ServerAway:
    case JournalNotice::Kind::ServerBack:
        return {};
    }
    return {};
}

} // namespace lorimet::journal
