#include "engine/ProtocolLines.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace lorimet;

TEST(ProtocolLines, GivesBackEveryLineAcrossBlockBoundaries) {
    ProtocolLines lines;
    QStringList expected;
    // Lines of varying length, Cyrillic included, enough to fill several blocks so some lines start a new
    // one.
    for (int i = 0; i < 60000; ++i) {
        const QString line = QStringLiteral(" 95.%1 %нас 20.3").arg(i % 100, 2, 10, QChar(u'0')) +
                             QString(i % 37, u' ') + QStringLiteral("под.");
        lines.append(line);
        expected << line;
    }
    ASSERT_EQ(lines.size(), expected.size());
    for (int i : {0, 1, 25000, 29999, 30000, 59999})
        EXPECT_EQ(lines.at(i), expected[i]) << i;
    EXPECT_EQ(lines.toList(), expected);
    EXPECT_EQ(lines.at(-1), QString());
    EXPECT_EQ(lines.at(lines.size()), QString());

    lines.clear();
    EXPECT_TRUE(lines.isEmpty());
    lines.append(QStringLiteral("изм."));
    EXPECT_EQ(lines.at(0), QStringLiteral("изм."));
}

TEST(ProtocolLines, EmptyAndOverlongLines) {
    ProtocolLines lines;
    lines.append(QString());
    const QByteArray huge(3 << 20, 'x');
    lines.append(huge.constData(), huge.size());
    lines.append(QStringLiteral("next"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.at(0), QString());
    EXPECT_EQ(lines.at(1).size(), (1 << 20) - 1); // cut to one block, never spilling into the next line
    EXPECT_EQ(lines.at(2), QStringLiteral("next"));
}
