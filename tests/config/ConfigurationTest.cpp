#include "config/Configuration.h"
#include "text/Cp1251.h"

#include "fakes/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace lorimet;

namespace {

using Load = Configuration::LoadResult;

QByteArray fileBytes(const QStringList& lines, const char* eol = "\r\n") {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += toCp1251(line) + eol;
    return bytes;
}

class ConfigFile : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString path() const { return QDir(dir.path()).filePath(QStringLiteral("Vornel_config.ini")); }
    void write(const QByteArray& bytes) {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray read() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The default lines with one line replaced.
    static QStringList with(int index, const QString& text) {
        QStringList lines = Configuration::defaultLines();
        lines[index] = text;
        return lines;
    }
    Configuration loaded(const QStringList& lines, Load expected = Load::Loaded) {
        write(fileBytes(lines));
        Configuration config;
        EXPECT_EQ(config.load(dir.path()), expected);
        return config;
    }
};

TEST_F(ConfigFile, FirstStartWritesTheDefaultsByteForByte) {
    Configuration config;
    ASSERT_EQ(config.load(dir.path()), Load::Defaulted);
    const QByteArray bytes = read();
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_EQ(lines.size(), 26); // 25 lines, each closed by CR LF
    EXPECT_TRUE(lines.last().isEmpty());
    for (int i = 0; i < 25; ++i)
        EXPECT_TRUE(lines[i].endsWith('\r')) << i;
    EXPECT_EQ(lines[0],
              QByteArray("\xcf\xee\xf1\xeb\xe5\xe4\xee\xe2\xe0\xf2\xe5\xeb\xfc\xed\xfb\xe9 \xef\xee\xf0\xf2"
                         "       :COM1\r"));
    EXPECT_EQ(lines[1],
              QByteArray("\xcf\xe0\xf0\xe0\xec\xe5\xf2\xf0 \xf4\xe8\xeb\xfc\xf2\xf0\xe0           A:0,3\r"));
    // The third filter label ends in the Cyrillic С (0xD1), not the Latin C.
    EXPECT_EQ(lines[3],
              QByteArray("\xcf\xe0\xf0\xe0\xec\xe5\xf2\xf0 \xf4\xe8\xeb\xfc\xf2\xf0\xe0           \xd1:5\r"));
    EXPECT_EQ(lines[7], QByteArray("\xe3\xf0\xe0\xe4\xe8\xe5\xed\xf2                    \xc2\xea\xeb\r"));
    EXPECT_EQ(lines[8], QByteArray("$00C0C0C0\r"));
    EXPECT_EQ(lines[19], QByteArray("9\r"));
    EXPECT_EQ(lines[22],
              QByteArray("\xc8\xed\xf2\xf0\xf3\xec\xe5\xed\xf2\xfb                  \xc2\xfb\xea\xeb\r"));
    EXPECT_EQ(config.lines(), Configuration::defaultLines());

    const Settings& s = config.settings();
    EXPECT_EQ(s.port, QStringLiteral("COM1"));
    EXPECT_EQ(s.portNumber(), 1);
    EXPECT_DOUBLE_EQ(s.filterA, 0.3);
    EXPECT_EQ(s.filterCycles, 3);
    EXPECT_EQ(s.filterWindow, 5);
    EXPECT_EQ(s.interruptFrequency, 2);
    EXPECT_EQ(s.transportDelay, 2);
    EXPECT_EQ(s.colours, (std::array<quint32, 7>{0xC0C0C0, 0, 0xFF0000, 0xFF, 0x8000, 0xFFFFFF, 0}));
    EXPECT_EQ(s.sizes, (std::array<int, 4>{2, 2, 2, 9}));
    EXPECT_TRUE(config.isSwitchOn(Configuration::GradientLine));
    for (int i = 20; i <= 24; ++i)
        EXPECT_FALSE(config.isSwitchOn(i)) << i;
    EXPECT_FALSE(config.splashShown());
}

TEST_F(ConfigFile, DefaultsStayInMemoryWhenTheyCannotBeWritten) {
    Configuration config;
    const QString missingFolder = QDir(dir.path()).filePath(QStringLiteral("no/such/folder"));
    EXPECT_EQ(config.load(missingFolder), Load::Defaulted);
    EXPECT_EQ(config.lines(), Configuration::defaultLines());
    EXPECT_EQ(config.settings().filterCycles, 3);
    EXPECT_FALSE(config.save(missingFolder));
}

TEST_F(ConfigFile, RoundTripKeepsTheLinesAsRead) {
    QStringList lines = Configuration::defaultLines();
    lines[0] = QStringLiteral("Последовательный порт       :COM12");
    lines[1] = QStringLiteral("Параметр фильтра           A:0,99"); // clamped in force, kept in the file
    lines[8] = QStringLiteral("255");
    lines[20] = QStringLiteral("Экран                       вкл");
    lines.append(QStringLiteral("a line someone added"));
    for (const QStringList& content : {Configuration::defaultLines(), lines}) {
        write(fileBytes(content));
        Configuration config;
        ASSERT_EQ(config.load(dir.path()), Load::Loaded);
        EXPECT_EQ(config.lines(), content);
        ASSERT_TRUE(config.save(dir.path()));
        EXPECT_EQ(read(), fileBytes(content));
    }
}

TEST(ConfigOnAFullDisk, TheSavedFileStaysAsItWas) {
    lorimet::testing::SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    Configuration config;
    ASSERT_EQ(config.load(disk.path()), Load::Defaulted);
    config.writeSwitch(Configuration::ScreenLine, true);
    const QString path = disk.filePath(Configuration::kFileName);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    disk.fill();
    EXPECT_FALSE(config.save(disk.path()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    file.close();
    // The next start still finds the old settings, not a damaged file.
    Configuration again;
    EXPECT_EQ(again.load(disk.path()), Load::Loaded);
}

TEST_F(ConfigFile, AcceptsLfAndCrLineEnds) {
    for (const char* eol : {"\n", "\r"}) {
        write(fileBytes(with(2, QStringLiteral("Параметр фильтра           B:7")), eol));
        Configuration config;
        ASSERT_EQ(config.load(dir.path()), Load::Loaded) << eol;
        EXPECT_EQ(config.lines().size(), 25);
        EXPECT_EQ(config.settings().filterCycles, 7);
    }
}

TEST_F(ConfigFile, DamagedFilesAreLeftUntouched) {
    const QStringList defaults = Configuration::defaultLines();
    const QString port = QStringLiteral("Последовательный порт       :");
    const QString label = QStringLiteral("Параметр фильтра           ");
    struct Case {
        const char* name;
        QStringList lines;
    };
    const Case cases[] = {
        {"19 lines", defaults.mid(0, 19)},
        {"empty file", {}},
        {"point in A", with(1, label + QStringLiteral("A:0.40"))},
        {"letter in B", with(2, label + QStringLiteral("B:x"))},
        {"empty C", with(3, label + QStringLiteral("С:"))},
        {"bad hex colour", with(10, QStringLiteral("$GG"))},
        {"empty colour", with(14, QString())},
        {"bad size", with(17, QStringLiteral("w"))},
        {"empty port", with(0, port)},
        {"blank port", with(0, port + QStringLiteral("   "))},
        {"COM alone", with(0, port + QStringLiteral("COM"))},
        {"COM and no digit", with(0, port + QStringLiteral("COMx"))},
    };
    for (const Case& c : cases) {
        const QByteArray bytes = fileBytes(c.lines);
        write(bytes);
        Configuration config;
        EXPECT_EQ(config.load(dir.path()), Load::Damaged) << c.name;
        EXPECT_EQ(read(), bytes) << c.name;
    }
}

TEST_F(ConfigFile, ValuesAreClampedToTheirRanges) {
    const QString label = QStringLiteral("Параметр фильтра           ");
    const QString frequency = QStringLiteral("Частота прерываний          :");
    const QString delay = QStringLiteral("Транспортное запаздывание   :");
    struct Case {
        int line;
        QString text;
        std::function<double(const Settings&)> value;
        double expected;
    };
    const auto a = [](const Settings& s) { return s.filterA; };
    const auto b = [](const Settings& s) { return double(s.filterCycles); };
    const auto c = [](const Settings& s) { return double(s.filterWindow); };
    const auto f = [](const Settings& s) { return double(s.interruptFrequency); };
    const auto d = [](const Settings& s) { return double(s.transportDelay); };
    const auto size = [](int i) { return [i](const Settings& s) { return double(s.sizes[i]); }; };
    const Case cases[] = {
        {1, label + "A:0,40", a, 0.40},  {1, label + "A:0,00", a, 0.01}, {1, label + "A:0,99", a, 0.91},
        {1, label + "A:0,405", a, 0.40}, {2, label + "B:0", b, 1},       {2, label + "B:12", b, 11},
        {2, label + "B:11", b, 11},      {3, label + "С:-5", c, 1},      {3, label + "С:99", c, 11},
        {4, frequency + "0", f, 1},      {4, frequency + "25", f, 20},   {4, frequency + "20", f, 20},
        {5, delay + "0", d, 1},          {5, delay + "99", d, 30},       {5, delay + "30", d, 30},
        {16, "0", size(0), 1},           {18, "-3", size(2), 1},         {17, "40", size(1), 40},
        {19, "7", size(3), 8},           {19, "11", size(3), 10},        {19, "10", size(3), 10},
    };
    for (const Case& k : cases) {
        const Configuration config = loaded(with(k.line, k.text));
        EXPECT_DOUBLE_EQ(k.value(config.settings()), k.expected) << k.text.toStdString();
        EXPECT_EQ(config.lines()[k.line], k.text); // the line itself is kept as read
    }
}

TEST_F(ConfigFile, PortIsTheWholeValue) {
    const QString label = QStringLiteral("Последовательный порт       :");
    struct Case {
        QString value, port;
        int number;
    };
    // The digits after "COM" are read in full and whatever follows them is ignored; a number that names no
    // port is left for the opening of the port to refuse.
    for (const Case& c : {Case{"COM12", "COM12", 12}, Case{"COM3  ", "COM3", 3}, Case{"COM9", "COM9", 9},
                          Case{"COM0", "COM0", 0}, Case{"COM1x", "COM1", 1}, Case{"COM12 (USB)", "COM12", 12},
                          Case{"/dev/ttyUSB0", "/dev/ttyUSB0", 0}, Case{"ttyS1", "ttyS1", 0}}) {
        const Configuration config = loaded(with(0, label + c.value));
        EXPECT_EQ(config.settings().port, c.port);
        EXPECT_EQ(config.settings().portNumber(), c.number) << c.value.toStdString();
    }
}

TEST_F(ConfigFile, ColoursDecimalOrHex) {
    QStringList lines = Configuration::defaultLines();
    lines[8] = QStringLiteral("255");
    lines[9] = QStringLiteral("$000000FF");
    lines[10] = QStringLiteral("$00FF0000");
    const Configuration config = loaded(lines);
    EXPECT_EQ(config.settings().colours[0], 0xFFu);
    EXPECT_EQ(config.settings().colours[1], 0xFFu);
    EXPECT_EQ(config.settings().colours[2], 0xFF0000u);
    EXPECT_EQ(colourText(0xFF), QStringLiteral("$000000FF"));
    EXPECT_EQ(colourText(0xc0c0c0), QStringLiteral("$00C0C0C0"));
    EXPECT_EQ(colourText(0xFFFFFFFF), QStringLiteral("$FFFFFFFF"));
}

TEST_F(ConfigFile, SwitchWords) {
    const QString label = QStringLiteral("Заставка                    ");
    struct Case {
        QString word;
        bool on, splash;
    };
    for (const Case& c : {Case{"Вкл", true, true}, Case{"Выкл", false, false}, Case{"вкл", true, false},
                          Case{"ВЫКЛ", true, false}, Case{"Вкл ", true, false},
                          Case{"Выключено", false, false}, Case{"", true, false}, Case{"Off", true, false}}) {
        const Configuration config = loaded(with(24, label + c.word));
        EXPECT_EQ(config.isSwitchOn(24), c.on) << c.word.toStdString();
        EXPECT_EQ(config.splashShown(), c.splash) << c.word.toStdString();
    }
}

TEST_F(ConfigFile, MissingSwitchLinesAreAddedSwitchedOff) {
    QStringList lines = Configuration::defaultLines().mid(0, 22);
    lines[20] = QStringLiteral("Экран                       Вкл");
    Configuration config = loaded(lines);
    ASSERT_EQ(config.lines().size(), 25);
    EXPECT_EQ(config.lines().mid(0, 22), lines);
    EXPECT_EQ(config.lines().mid(22), Configuration::defaultLines().mid(22));
    EXPECT_TRUE(config.isSwitchOn(20));
    EXPECT_FALSE(config.isSwitchOn(22));
    EXPECT_FALSE(config.isSwitchOn(24));
    EXPECT_FALSE(config.splashShown());
    EXPECT_EQ(read(), fileBytes(lines)); // nothing is written before save
    loaded(Configuration::defaultLines().mid(0, 20));
}

TEST_F(ConfigFile, TogglingASwitchTwiceChangesNothing) {
    Configuration config = loaded(Configuration::defaultLines());
    for (int index : {7, 20, 21, 22, 23, 24}) {
        const bool on = config.isSwitchOn(index);
        config.writeSwitch(index, !on);
        EXPECT_NE(config.lines(), Configuration::defaultLines()) << index;
        EXPECT_EQ(config.lines()[index].size(), on ? 32 : 31);
        EXPECT_EQ(config.isSwitchOn(index), !on);
        config.writeSwitch(index, on);
        EXPECT_EQ(config.lines(), Configuration::defaultLines()) << index;
    }
    config.writeSwitch(24, true);
    EXPECT_EQ(config.lines()[24], QStringLiteral("Заставка                    Вкл"));
    EXPECT_TRUE(config.splashShown());
    config.writeSwitch(6, true); // a heading is no switch
    EXPECT_EQ(config.lines()[6], Configuration::defaultLines()[6]);
}

TEST_F(ConfigFile, WritersReplaceWholeLinesInMemory) {
    Configuration config = loaded(Configuration::defaultLines());
    config.writePortAndFilterLines(QStringLiteral("COM3"), QStringLiteral("0,35"), 4, 3, 15, 30);
    config.writePlotterLines(false, {0xFFFFFF, 0x808080, 0xFF, 0xFF0000, 0x8000, 1, 2}, {1, 3, 5, 10});
    config.writeTableLines(0xF0F0F0, 0x80, 10);
    const QStringList expected = {
        "Последовательный порт       :COM3",
        "Параметр фильтра           A:0,35",
        "Параметр фильтра           B:4",
        "Параметр фильтра           С:3",
        "Частота прерываний          :15",
        "Транспортное запаздывание   :30",
        "Цвет панелей                :",
        "градиент                    Выкл",
        "$00FFFFFF",
        "$00808080",
        "$000000FF",
        "$00FF0000",
        "$00008000",
        "$00F0F0F0",
        "$00000080",
        "Параметры панелей           :",
        "1",
        "3",
        "5",
        "10",
    };
    EXPECT_EQ(config.lines().mid(0, 20), expected);
    EXPECT_EQ(config.lines().mid(20), Configuration::defaultLines().mid(20));
    EXPECT_EQ(read(), fileBytes(Configuration::defaultLines()));
    EXPECT_EQ(config.settings().filterCycles, 3); // the values in force are the caller's business

    ASSERT_TRUE(config.save(dir.path()));
    Configuration reread;
    ASSERT_EQ(reread.load(dir.path()), Load::Loaded);
    const Settings& s = reread.settings();
    EXPECT_EQ(s.portNumber(), 3);
    EXPECT_DOUBLE_EQ(s.filterA, 0.35);
    EXPECT_EQ(s.filterCycles, 4);
    EXPECT_EQ(s.filterWindow, 3);
    EXPECT_EQ(s.interruptFrequency, 15);
    EXPECT_EQ(s.transportDelay, 30);
    EXPECT_EQ(s.colours[6], 0x80u);
    EXPECT_EQ(s.sizes, (std::array<int, 4>{1, 3, 5, 10}));
    EXPECT_FALSE(reread.isSwitchOn(Configuration::GradientLine));

    config.writePortAndFilterLines(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("0,30"), 3, 5, 2, 2);
    EXPECT_EQ(config.lines()[0], QStringLiteral("Последовательный порт       :/dev/ttyUSB0"));
}

} // namespace
