#include "engine/Texts.h"

#include <gtest/gtest.h>

using namespace lorimet;

TEST(Texts, StartCommandBytes) {
    struct Case {
        int frequency, delay;
        QByteArray bytes;
    };
    const Case cases[] = {
        {2, 2, QByteArray::fromHex("A1A202A307D0")},
        {20, 20, QByteArray::fromHex("A1A214A34E21")}, // 20 s goes out as 20001 ms
        {2, 20, QByteArray::fromHex("A1A202A34E21")},
        {1, 1, QByteArray::fromHex("A1A201A303E8")},
        {20, 30, QByteArray::fromHex("A1A214A37530")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(texts::startCommand(c.frequency, c.delay), c.bytes) << c.frequency << " " << c.delay;
    EXPECT_TRUE(texts::deviceCode(0).isEmpty());
    EXPECT_TRUE(texts::deviceCode(51).isEmpty());
}

TEST(Texts, TablesKeepTheirExactText) {
    EXPECT_EQ(texts::statusTexts().size(), 9);
    EXPECT_EQ(texts::promptTexts().size(), 7);
    EXPECT_EQ(texts::operatorMessages().size(), 15);
    EXPECT_TRUE(texts::statusTexts()[8].startsWith(QString(60, u' ') + u'З'));
    // Latin C in two messages, Cyrillic С in the status text.
    EXPECT_EQ(texts::operatorMessages()[7].at(0), QChar(u'C'));
    EXPECT_EQ(texts::operatorMessages()[12].at(0), QChar(u'C'));
    EXPECT_EQ(texts::statusTexts()[0].at(0), QChar(u'С'));
    EXPECT_EQ(texts::promptTexts()[1].section(u'\r', 0, 0),
              QStringLiteral("Для проведения анализа пробы:   "));
    EXPECT_EQ(texts::promptTexts()[0].section(u'\r', 3, 3), QStringLiteral("    в указанное положение."));
    EXPECT_TRUE(
        texts::operatorMessages()[2].endsWith(QStringLiteral("\r       - низкий уровень сигнала !      ")));
}
