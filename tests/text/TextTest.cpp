#include "text/Cp1251.h"
#include "text/FileNames.h"
#include "text/NumberFormat.h"
#include "text/Numbers.h"
#include "text/TimeText.h"

#include <gtest/gtest.h>

using namespace lorimet;

TEST(Cp1251, RoundTripsEveryByte) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    EXPECT_EQ(toCp1251(fromCp1251(all)), all);
}

TEST(Cp1251, KnownLetters) {
    EXPECT_EQ(toCp1251(QStringLiteral("%нас")), QByteArray("\x25\xED\xE0\xF1"));
    EXPECT_EQ(fromCp1251(QByteArray("\xA1")), QStringLiteral("Ў"));
    EXPECT_EQ(toCp1251(QStringLiteral("°№Ёё")), QByteArray("\xB0\xB9\xA8\xB8"));
    // Characters outside the code page are replaced, never dropped: positions must not shift.
    EXPECT_EQ(toCp1251(QStringLiteral("a\u4e2db")), QByteArray("a?b"));
}

TEST(RoundTo, TiesGoToEven) {
    struct Case {
        int n;
        double x, expected;
    };
    for (const Case& c :
         {Case{1, 0.25, 0.2}, Case{0, 2.5, 2}, Case{0, 3.5, 4}, Case{2, 0.456, 0.46}, Case{1, 12.345, 12.3},
          Case{3, 10.56, 10.56}, Case{1, -0.25, -0.2}, Case{2, 0.125, 0.12}, Case{3, 4.5454545, 4.545}})
        EXPECT_EQ(RoundTo(c.n, c.x), c.expected) << c.n << " " << c.x;
}

TEST(ParseReal, InstrumentAndFileSeparators) {
    EXPECT_EQ(parseInstrumentReal(u"  87.5"), 87.5);
    EXPECT_EQ(parseInstrumentReal(u"-1.5e2"), -150.0);
    EXPECT_EQ(parseInstrumentReal(u"20"), 20.0);
    EXPECT_EQ(parseFileReal(u"+087,250"), 87.25);
    EXPECT_EQ(parseFileReal(u"0,3"), 0.3);
    for (const char16_t* bad :
         {u"", u"  ", u"20.5 ", u"2O.5", u"20,5", u".", u"1e", u"--1", u"1e999", u"0x10"})
        EXPECT_FALSE(parseInstrumentReal(bad).has_value()) << QString::fromUtf16(bad).toStdString();
    EXPECT_FALSE(parseFileReal(u"0.40").has_value());
}

TEST(ParseInteger, DecimalAndHex) {
    EXPECT_EQ(parseInteger(u"255"), 255);
    EXPECT_EQ(parseInteger(u"$000000FF"), 255);
    EXPECT_EQ(parseInteger(u"$00FF0000"), 0xFF0000);
    EXPECT_EQ(parseInteger(u" -7"), -7);
    EXPECT_EQ(parseInteger(u"$FFFFFFFF"), -1);
    for (const char16_t* bad : {u"", u"$", u"3 ", u"1,0", u"9999999999", u"$1FFFFFFFF", u"x1"})
        EXPECT_FALSE(parseInteger(bad).has_value()) << QString::fromUtf16(bad).toStdString();
}

TEST(FormatNumber, Patterns) {
    struct Case {
        double value;
        const char16_t* pattern;
        const char16_t* expected;
    };
    const Case cases[] = {
        {12.3456, u"БПК*=000.00 ", u"БПК*=012,35 "},
        {7.5, u"БПК=000.00 ", u"БПК=007,50 "},
        {45.67, u"ОТ=000.0 %", u"ОТ=045,7 %"},
        {87.25, u"S=+000.000 ", u"S=+087,250 "},
        {0, u"dS=+000.000 ", u"dS=+000,000 "},
        {0.014, u"dS=+000.000 ", u"dS=+000,014 "},
        {20.46, u"t=000.0 °C ", u"t=020,5 °C "},
        {12.3, u"000.0", u"012,3"},
        {97.24, u"0.0 %нас.", u"97,2 %нас."},
        {0.456, u"0.00 мг/л.", u"0,46 мг/л."},
        {12.345, u"0.00", u"12,35"}, // decimal rounding of the shown value, not of its binary neighbour
        {0.35, u"0.00", u"0,35"},
        {1234.5, u"0.0", u"1234,5"},
        {-1.25, u"0.0", u"-1,3"},
        {-0.01, u"0.0", u"0,0"},
        {9.96, u"0.0", u"10,0"},
        {0.0005, u"0.000", u"0,001"},
        {1e-20, u"0.000", u"0,000"},
        {3, u"0", u"3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatNumber(c.value, c.pattern), QString::fromUtf16(c.expected))
            << c.value << " " << QString::fromUtf16(c.pattern).toStdString();
}

TEST(TimeText, Formats) {
    EXPECT_EQ(timeText(QTime(4, 5, 9)), QStringLiteral("04:05:09"));
    EXPECT_EQ(dateText(QDate(2026, 12, 6)), QStringLiteral("06.12.26 г"));
    EXPECT_EQ(durationText(754'999), QStringLiteral("12:34"));
    EXPECT_EQ(durationText(3'600'000 + 61'000), QStringLiteral("01:01")); // wraps after 59:59
}

TEST(FileNames, TheFiltersExtensionEndsEveryName) {
    EXPECT_EQ(filterExtension(QStringLiteral("Текстовый файл (*.txt)|*.txt")), u"txt");
    EXPECT_EQ(filterExtension(QStringLiteral("Файл PDF (*.pdf)")), u"pdf");
    EXPECT_EQ(filterExtension(QStringLiteral("Все файлы (*)|*")), u"");
    struct Case {
        const char* path;
        const char* extension;
        const char* expected;
    };
    for (const Case& c : {
             // The dots of the proposed names are no extension.
             Case{"R/Протокол от 10.12.26 г", "txt", "R/Протокол от 10.12.26 г.txt"},
             Case{"R/Отчёт от 10.12.26 г", "xlsx", "R/Отчёт от 10.12.26 г.xlsx"},
             Case{"R/Отчёт от 10.12.26 г", "pdf", "R/Отчёт от 10.12.26 г.pdf"},
             Case{"R/Протокол от 10.12.26 г.txt", "txt", "R/Протокол от 10.12.26 г.txt"},
             Case{"R/ПРОТОКОЛ.TXT", "txt", "R/ПРОТОКОЛ.TXT"},
             // Another kind's extension is part of the name: a PDF never takes a workbook's place.
             Case{"R/Отчёт.xlsx", "pdf", "R/Отчёт.xlsx.pdf"},
             Case{"R/.txt", "txt", "R/.txt.txt"},
             Case{"out", "", "out"},
         }) {
        EXPECT_EQ(withExtension(QString::fromUtf8(c.path), QString::fromUtf8(c.extension)),
                  QString::fromUtf8(c.expected))
            << c.path;
    }
}
