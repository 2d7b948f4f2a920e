#include "reports/ProtocolText.h"

#include <gtest/gtest.h>

using namespace lorimet;

TEST(DataLine, ThreeSamplesOfARun) {
    struct Case {
        double signal, derivative, elapsed;
        const char16_t* expected;
    };
    // The derivative is written as 0 when it is not positive; the time is cut to 1e-6 day, not rounded.
    for (const Case& c : {Case{87.25, -0.01, 0, u"S=+087,250 dS=+000,000 T=000,0"},
                          Case{86.9, 0.014, 0.0000105, u"S=+086,900 dS=+000,014 T=001,0"},
                          Case{86.1, 0.02, 0.0000212, u"S=+086,100 dS=+000,020 T=002,1"},
                          Case{-0.5, 0, 0.0000199, u"S=+000,000 dS=+000,000 T=001,9"}})
        EXPECT_EQ(dataLine(c.signal, c.derivative, c.elapsed), QString::fromUtf16(c.expected)) << c.signal;
}

TEST(DataLine, FieldPositions) {
    const QString line = dataLine(87.25, 0.014, 0.000123);
    EXPECT_EQ(line.mid(2, 8), u"+087,250");
    EXPECT_EQ(line.mid(14, 8), u"+000,014");
    EXPECT_EQ(line.mid(25, 5), u"012,3");
}

TEST(ResultLine, ThreeForms) {
    EXPECT_EQ(resultLine(12.3456, false, 7.5, false, 0), u"БПК*=012,35 ");
    EXPECT_EQ(resultLine(12.3456, true, 7.5, false, 0), u"БПК*=012,35 БПК=007,50 ");
    // Toxicity wins over the full form.
    EXPECT_EQ(resultLine(12.3456, true, 7.5, true, 45.67), u"БПК*=012,35 ОТ=045,7 %");
}

TEST(ProtocolLines, TemperatureAndTime) {
    EXPECT_EQ(temperatureLine(20.46, QStringLiteral("12:34")), u"t=020,5 °C T=12:34");
    const QString time = timeDateLine(QStringLiteral("14:05:09"), QStringLiteral("06.12.26 г"));
    EXPECT_EQ(time, u"Время: 14:05:09 Дата: 06.12.26 г");
    EXPECT_EQ(time.mid(7, 8), u"14:05:09");
    EXPECT_EQ(time.mid(22, 10), u"06.12.26 г");
}

TEST(ResultCellText, OneDecimalFromOne) {
    EXPECT_EQ(resultCellText(0.456), u"0,46");
    EXPECT_EQ(resultCellText(0.876), u"0,88");
    EXPECT_EQ(resultCellText(1.0), u"1,0");
    EXPECT_EQ(resultCellText(12.34), u"12,3");
}
