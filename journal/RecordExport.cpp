#include "journal/RecordExport.h"

#include "journal/RecordText.h"
#include "reports/XlsxSheet.h"
#include "text/Cp1251.h"
#include "text/SafeFile.h"

namespace lorimet::journal {

bool writeRecordsCsv(const QString& path, const std::vector<Record>& records, QString* reason) {
    QString text = csvHeading();
    for (const Record& r : records)
        text += csvRow(r);
    return writeFileAtomically(path, toCp1251(text), reason);
}

bool writeRecordsXlsx(const QString& path, const std::vector<Record>& records, QString* reason) {
    QStringList heading;
    for (const FieldInfo& f : kFields)
        heading << QLatin1StringView(f.name).toString();
    std::vector<std::vector<QVariant>> rows;
    rows.reserve(records.size());
    for (const Record& r : records)
        rows.emplace_back(r.values.begin(), r.values.end());
    return writeXlsxSheet(path, QStringLiteral("Журнал"), heading, rows, reason);
}

} // namespace lorimet::journal
