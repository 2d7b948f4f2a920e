#include "reports/XlsxExport.h"

#include "reports/XlsxSheet.h"

#include "text/Numbers.h"

#include <QFile>
#include <QRegularExpression>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <utility>

namespace lorimet {
namespace {

// The grid columns that hold numbers: №, BOD', BOD, toxicity index and temperature. Duration, time and
// date stay texts: "12:34" is minutes and seconds, which a spreadsheet would take for hours and minutes.
constexpr std::array<bool, ReportTable::kColumns> kNumberColumn = {true, false, true,  true, true,
                                                                   true, false, false, false};

const QString kFontName = QStringLiteral("Microsoft Sans Serif");

constexpr int kWidestColumn = 255; // characters

struct NumberCell {
    double value = 0;
    int decimals = 0;
};

// Only a plain number as the grid shows it counts ("12,3", "0,46", "7"); the shown decimals become the
// cell's format, so the sheet shows what the grid showed.
std::optional<NumberCell> numberCell(const QString& text) {
    static const QRegularExpression plain(QStringLiteral("^-?[0-9]+(,([0-9]+))?$"));
    const QString trimmed = text.trimmed();
    const QRegularExpressionMatch match = plain.match(trimmed);
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<double> value = parseFileReal(trimmed);
    if (!value)
        return std::nullopt;
    return NumberCell{*value, static_cast<int>(match.capturedLength(2))};
}

QString numberFormat(int decimals) {
    return decimals <= 0 ? QStringLiteral("0") : QStringLiteral("0.") + QString(decimals, u'0');
}

// Formats are made once per kind: heading or body, with or without a number format, cell or whole row.
class Formats {
  public:
    Formats(lxw_workbook* workbook, int fontSize) : workbook_(workbook), fontSize_(fontSize) {}

    lxw_format* row(bool heading) { return get(heading, false, QString()); }
    lxw_format* cell(bool heading, const QString& number) { return get(heading, true, number); }

  private:
    lxw_format* get(bool heading, bool bordered, const QString& number) {
        auto key = std::make_tuple(heading, bordered, number);
        auto found = formats_.find(key);
        if (found != formats_.end())
            return found->second;
        lxw_format* f = workbook_add_format(workbook_);
        if (heading)
            format_set_bold(f);
        format_set_font_color(f, LXW_COLOR_BLACK);
        format_set_font_size(f, fontSize_);
        format_set_font_name(f, kFontName.toUtf8().constData());
        format_set_align(f, LXW_ALIGN_CENTER);
        if (bordered) {
            // Continuous, hairline, black: the sheet's grid as the report has always had it.
            format_set_border(f, LXW_BORDER_HAIR);
            format_set_border_color(f, LXW_COLOR_BLACK);
        }
        if (!number.isEmpty())
            format_set_num_format(f, number.toUtf8().constData());
        formats_.emplace(key, f);
        return f;
    }

    lxw_workbook* workbook_;
    int fontSize_;
    std::map<std::tuple<bool, bool, QString>, lxw_format*> formats_;
};

double rowHeight(int fontSize) {
    // The default row fits fonts up to 11 points; larger ones get a row of 1.4 times the font, in quarter
    // points as the spreadsheet keeps them.
    return std::max(LXW_DEF_ROW_HEIGHT, std::round(fontSize * 1.4 * 4) / 4);
}

bool writeWorkbook(const QString& path, const ReportTable& table, int probeCounter, const QString& title,
                   const ColumnWidths& pixelWidths, int fontSize) {
    lxw_workbook* workbook = workbook_new(QFile::encodeName(path).constData());
    if (!workbook)
        return false;
    const QByteArray sheetName = title.toUtf8();
    lxw_worksheet* sheet = nullptr;
    if (workbook_validate_sheet_name(workbook, sheetName.constData()) == LXW_NO_ERROR)
        sheet = workbook_add_worksheet(workbook, sheetName.constData());
    if (!sheet) {
        workbook_close(workbook);
        return false;
    }

    bool ok = true;
    auto check = [&ok](lxw_error error) { ok = ok && error == LXW_NO_ERROR; };
    for (int c = 0; c < ReportTable::kColumns; ++c) {
        // The spreadsheet keeps a column's width in a byte of characters: anything wider (a long sample
        // description) would come back as its remainder, a narrow column.
        const int width = std::min(kWidestColumn, std::max(0, pixelWidths[static_cast<size_t>(c)]) / 6);
        // A column the grid never fitted is 0 pixels wide: the sheet hides it as well.
        lxw_row_col_options options{static_cast<uint8_t>(width == 0), 0, 0};
        check(worksheet_set_column_opt(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), width,
                                       nullptr, &options));
    }

    Formats formats(workbook, fontSize);
    for (int r = 0; r <= probeCounter; ++r) {
        const bool heading = r == 0;
        const auto row = static_cast<lxw_row_t>(r);
        check(worksheet_set_row(sheet, row, rowHeight(fontSize), formats.row(heading)));
        for (int c = 0; c < ReportTable::kColumns; ++c) {
            const auto column = static_cast<lxw_col_t>(c);
            const QString text = table.cell(r, c);
            if (text.isEmpty()) {
                check(worksheet_write_blank(sheet, row, column, formats.cell(heading, QString())));
                continue;
            }
            const std::optional<NumberCell> number =
                heading || !kNumberColumn[static_cast<size_t>(c)] ? std::nullopt : numberCell(text);
            if (number)
                check(worksheet_write_number(sheet, row, column, number->value,
                                             formats.cell(heading, numberFormat(number->decimals))));
            else
                check(worksheet_write_string(sheet, row, column, text.toUtf8().constData(),
                                             formats.cell(heading, QString())));
        }
    }
    check(workbook_close(workbook));
    return ok;
}

} // namespace

QString reportTitle(const QString& dateText) {
    return QStringLiteral("Отчёт от ") + dateText;
}

bool writeXlsxReport(const QString& path, const ReportTable& table, int probeCounter, const QString& title,
                     const ColumnWidths& pixelWidths, int fontSize) {
    return placeWorkbook(path, [&](const QString& book) {
        return writeWorkbook(book, table, probeCounter, title, pixelWidths, fontSize);
    });
}

} // namespace lorimet
