#include "reports/XlsxSheet.h"

#include "text/SafeFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>

namespace lorimet {
namespace {

constexpr int kWidestColumn = 255; // characters: the spreadsheet keeps a width in a byte

bool writeSheet(const QString& book, const QString& sheetName, const QStringList& heading,
                const std::vector<std::vector<QVariant>>& rows) {
    lxw_workbook* workbook = workbook_new(QFile::encodeName(book).constData());
    if (!workbook)
        return false;
    const QByteArray name = sheetName.left(31).toUtf8();
    lxw_worksheet* sheet = workbook_validate_sheet_name(workbook, name.constData()) == LXW_NO_ERROR
                               ? workbook_add_worksheet(workbook, name.constData())
                               : workbook_add_worksheet(workbook, nullptr);
    if (!sheet) {
        workbook_close(workbook);
        return false;
    }
    bool ok = true;
    auto check = [&ok](lxw_error error) { ok = ok && error == LXW_NO_ERROR; };
    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);

    std::vector<qsizetype> widths(static_cast<size_t>(heading.size()), 0);
    for (qsizetype c = 0; c < heading.size(); ++c) {
        check(worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), heading[c].toUtf8().constData(),
                                     bold));
        widths[static_cast<size_t>(c)] = heading[c].size();
    }
    lxw_row_t r = 1;
    for (const std::vector<QVariant>& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            const QVariant& v = row[c];
            const auto column = static_cast<lxw_col_t>(c);
            qsizetype shown = 0;
            switch (v.typeId()) {
            case QMetaType::Bool:
                check(worksheet_write_boolean(sheet, r, column, v.toBool(), nullptr));
                shown = 5;
                break;
            case QMetaType::Double:
            case QMetaType::Float:
            case QMetaType::Int:
            case QMetaType::LongLong:
            case QMetaType::UInt:
            case QMetaType::ULongLong:
                check(worksheet_write_number(sheet, r, column, v.toDouble(), nullptr));
                shown = 12;
                break;
            default: {
                const QString text = v.toString();
                if (text.isEmpty())
                    break;
                check(worksheet_write_string(sheet, r, column, text.toUtf8().constData(), nullptr));
                shown = text.size();
            }
            }
            if (c < widths.size())
                widths[c] = std::max(widths[c], shown);
        }
        ++r;
    }
    for (size_t c = 0; c < widths.size(); ++c)
        check(worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                   static_cast<double>(std::min<qsizetype>(kWidestColumn, widths[c] + 2)),
                                   nullptr));
    if (!heading.isEmpty()) {
        worksheet_freeze_panes(sheet, 1, 0);
        check(worksheet_autofilter(sheet, 0, 0, static_cast<lxw_row_t>(rows.size()),
                                   static_cast<lxw_col_t>(heading.size() - 1)));
    }
    check(workbook_close(workbook));
    return ok;
}

} // namespace

bool placeWorkbook(const QString& path, const std::function<bool(const QString&)>& write, QString* reason) {
    const QTemporaryDir scratch;
    auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (!scratch.isValid())
        return fail(QStringLiteral("нет места для временного файла: ") + scratch.errorString());
    const QString book = scratch.filePath(QStringLiteral("book.xlsx"));
    if (!write(book))
        return fail(QStringLiteral("книга Excel не записана целиком (нет места на диске?)"));
    const FileRead written = readRegularFile(book);
    // A workbook is a zip archive: whole, it ends in the archive's end record (no comment follows it).
    if (!written.bytes || !written.bytes->right(22).startsWith(QByteArrayLiteral("PK\x05\x06")))
        return fail(QStringLiteral("книга Excel не записана целиком (нет места на диске?)"));
    return writeFileAtomically(path, *written.bytes, reason);
}

bool writeXlsxSheet(const QString& path, const QString& sheetName, const QStringList& heading,
                    const std::vector<std::vector<QVariant>>& rows, QString* reason) {
    return placeWorkbook(
        path, [&](const QString& book) { return writeSheet(book, sheetName, heading, rows); }, reason);
}

} // namespace lorimet
