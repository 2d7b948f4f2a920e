// The day file, saved protocols and the exit sweep's rescue on a disk that is full or read-only, and files
// that are not what they seem: a day file cut by a NUL, a FIFO in the place of a file.
#include "fakes/Fakes.h"
#include "fakes/SmallDisk.h"

#include "engine/Texts.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <ostream>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& lines, std::ostream* os) {
    *os << '"' << lines.join(QStringLiteral("\\n")).toStdString() << '"';
}

using namespace lorimet;
using namespace lorimet::testing;

namespace {

const QString kToday = QStringLiteral("06.12.26 г");

QStringList block(const QString& description, const QString& time) {
    QStringList lines{QStringLiteral("2"), dataLine(90, 0, 0), dataLine(89.5, 0.01, 0.0000105)};
    lines << description << resultLine(1.5, false, 0, false, 0)
          << temperatureLine(20.5, QStringLiteral("01:00")) << timeDateLine(time, kToday);
    return lines;
}

QStringList dayOfTwo() {
    return block(QStringLiteral("Проба 1"), QStringLiteral("10:00:00")) +
           block(QStringLiteral("Проба 2"), QStringLiteral("10:30:00"));
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class WarningDisplay : public RecordingDisplay {
  public:
    QStringList warnings;
    void setDayFileWarning(const QString& text) override { warnings << text; }
};

class SavingOperator : public ScriptedOperator {
  public:
    std::deque<std::optional<QString>> saves;
    std::deque<std::optional<QString>> opens;
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&,
                                        const QString&) override {
        return next(saves);
    }
    std::optional<QString> openFileName(const QString&, const QString&, const QString&) override {
        return next(opens);
    }

  private:
    static std::optional<QString> next(std::deque<std::optional<QString>>& queue) {
        if (queue.empty())
            return std::nullopt;
        auto answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

// The engine with its data folder on a small disk of its own.
class FullDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!disk.mounted())
            GTEST_SKIP() << disk.why();
        data = disk.filePath(QStringLiteral("data"));
        ASSERT_TRUE(QDir().mkpath(data + QStringLiteral("/Temp")));
        config.load(data);
        configBytes = bytesOf(data + QStringLiteral("/Vornel_config.ini"));
        engine = std::make_unique<Engine>(config, display, op, link, clock, data);
    }

    QString dayFile() const { return data + QStringLiteral("/Temp/") + dayFileName(kToday); }
    int rows() const { return engine->acquisition().probeCounter; }

    SmallDisk disk;
    QString data;
    QByteArray configBytes;
    Configuration config;
    ManualClock clock; // 6 December 2026, 12:00
    WarningDisplay display;
    SavingOperator op;
    RecordingLink link;
    std::unique_ptr<Engine> engine;
};

QString cannotWriteDayFile(const QString& reason) {
    return QStringLiteral("Ошибка | Невозможно записать файл ") + dayFileName(kToday) +
           QStringLiteral(" !\r") + reason;
}

} // namespace

TEST_F(FullDisk, AFailingDayFileIsToldOnceAndWarnedOfUntilASaveSucceeds) {
    ASSERT_TRUE(writeProtocolFile(dayFile(), dayOfTwo()));
    const QByteArray before = bytesOf(dayFile());
    engine->startUp();
    ASSERT_EQ(rows(), 2);

    disk.fill();
    for (int i = 0; i < 3; ++i) {
        // Connecting and disconnecting save the day file and rebuild the table from it.
        i % 2 == 0 ? engine->PGoClick() : engine->PStopClick();
        // The rows stay as they were, and the day is still whole in memory.
        EXPECT_EQ(rows(), 2) << i;
        EXPECT_EQ(engine->dayProtocol(), dayOfTwo()) << i;
        EXPECT_EQ(engine->table().cell(2, 0), u"2") << i;
        EXPECT_EQ(bytesOf(dayFile()), before) << i;
    }
    // Clearing without the link empties the table; the day comes back from memory at the next
    // connection, not from the stale file.
    engine->PStopClick();
    engine->CleanClick();
    EXPECT_EQ(rows(), 0);
    disk.empty();
    engine->PGoClick();
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(display.warnings.size(), 1);
    EXPECT_EQ(op.boxes, QStringList{cannotWriteDayFile(QStringLiteral("Нет места на диске."))});
    EXPECT_EQ(display.warnings, QStringList{texts::kDayFileNotSaved});

    // The next save succeeds and the warning goes.
    engine->PStopClick();
    EXPECT_EQ(display.warnings.size(), 2);
    EXPECT_EQ(display.warnings.back(), QString());
    EXPECT_EQ(readProtocolFile(dayFile()), dayOfTwo());

    // A failure after a success is told again, and the exit keeps the configuration as it was.
    disk.fill();
    engine->PGoClick();
    EXPECT_EQ(op.boxes.size(), 2);
    engine->closeSequence();
    EXPECT_EQ(op.boxes.size(), 2);
    EXPECT_EQ(bytesOf(data + QStringLiteral("/Vornel_config.ini")), configBytes);
    EXPECT_EQ(readProtocolFile(dayFile()), dayOfTwo());
}

TEST_F(FullDisk, AReadOnlyDiskIsToldWithItsReason) {
    ASSERT_TRUE(writeProtocolFile(dayFile(), dayOfTwo()));
    engine->startUp();
    ASSERT_EQ(::mount(nullptr, QFile::encodeName(disk.path()).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                      nullptr),
              0);
    engine->PGoClick();
    EXPECT_EQ(op.boxes, QStringList{cannotWriteDayFile(QStringLiteral("Диск защищён от записи."))});
    EXPECT_EQ(rows(), 2);
}

TEST_F(FullDisk, ASavedProtocolIsNotReplacedByAShortOne) {
    ASSERT_TRUE(writeProtocolFile(dayFile(), dayOfTwo()));
    engine->startUp();
    const QString target = data + QStringLiteral("/Протокол.txt");
    ASSERT_TRUE(writeProtocolFile(target, block(QStringLiteral("Вчера"), QStringLiteral("09:00:00"))));
    const QByteArray before = bytesOf(target);

    disk.fill();
    op.saves.push_back(target);
    engine->SaveProtocolClick();
    EXPECT_EQ(op.boxes, QStringList{QStringLiteral("Ошибка | Невозможно записать файл Протокол.txt !")});
    EXPECT_EQ(bytesOf(target), before);

    disk.empty();
    op.saves.push_back(target);
    engine->SaveProtocolClick();
    EXPECT_EQ(op.boxes.size(), 1);
    EXPECT_EQ(readProtocolFile(target), dayOfTwo());
}

TEST_F(FullDisk, TheRescueOfAnEarlierDayKeepsItsSourceWhenItCannotBeWritten) {
    const QString earlier = data + QStringLiteral("/Temp/") + dayFileName(QStringLiteral("05.12.26 г"));
    ASSERT_TRUE(writeProtocolFile(earlier, dayOfTwo()));
    const QString target = data + QStringLiteral("/Вчера.txt");
    ASSERT_TRUE(writeProtocolFile(target, block(QStringLiteral("Старое"), QStringLiteral("09:00:00"))));
    const QByteArray before = bytesOf(target);
    const QByteArray source = bytesOf(earlier);
    engine->startUp();

    disk.fill();
    op.answers.push_back(Answer::Yes);
    op.saves.push_back(target);
    engine->closeSequence();
    ASSERT_EQ(op.boxes.size(), 2);
    EXPECT_EQ(op.boxes[1], QStringLiteral("Ошибка | Невозможно записать файл Вчера.txt !"));
    EXPECT_EQ(bytesOf(target), before);
    EXPECT_EQ(bytesOf(earlier), source); // still there for the next exit
    EXPECT_EQ(bytesOf(data + QStringLiteral("/Vornel_config.ini")), configBytes);
}

TEST(DamagedDayFile, TheOriginalIsKeptBesideItAndSurvivesTheSweep) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("Temp"))));
    const QString day = dir.filePath(QStringLiteral("Temp/") + dayFileName(kToday));
    const QString kept = day + QStringLiteral(".damaged");
    // A power cut left a run of NULs in the middle: the second block is past what is read.
    const QStringList first = block(QStringLiteral("Проба 1"), QStringLiteral("10:00:00"));
    ASSERT_TRUE(writeProtocolFile(day, first));
    const QByteArray damaged = bytesOf(day) + QByteArray(512, '\0') + QByteArray("2\r\nS=+08");
    writeBytes(day, damaged);
    writeBytes(kept, "an earlier one");

    for (int run = 0; run < 2; ++run) {
        Configuration config;
        config.load(dir.path());
        ManualClock clock;
        WarningDisplay display;
        SavingOperator op;
        RecordingLink link;
        Engine engine(config, display, op, link, clock, dir.path());
        engine.startUp();
        EXPECT_EQ(engine.acquisition().probeCounter, 1) << run;
        engine.closeSequence();
        // The sweep asks nothing about the kept files and removes none of them.
        EXPECT_TRUE(op.boxes.isEmpty()) << run << op.boxes.join(u'\n').toStdString();
        EXPECT_EQ(readProtocolFile(day), first) << run;
    }
    // Kept once, under the first free name; the earlier kept file is untouched, and the second start
    // found nothing damaged to keep.
    EXPECT_EQ(bytesOf(kept), QByteArray("an earlier one"));
    EXPECT_EQ(bytesOf(kept + QStringLiteral("-2")), damaged);
    EXPECT_FALSE(QFileInfo::exists(kept + QStringLiteral("-3")));
}

namespace {

// A FIFO for a test that must not hang when the code under test opens it for reading after all: after a
// while a writer comes, opens it and goes, and the reader sees its end.
class Fifo {
  public:
    explicit Fifo(const QString& path) : path_(QFile::encodeName(path)) {
        made_ = ::mkfifo(path_.constData(), 0600) == 0;
        rescuer_ = std::thread([this] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!done_) {
                if (std::chrono::steady_clock::now() > deadline) {
                    const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0)
                        ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~Fifo() {
        done_ = true;
        rescuer_.join();
    }
    bool made() const { return made_; }

  private:
    QByteArray path_;
    bool made_ = false;
    std::atomic<bool> done_{false};
    std::thread rescuer_;
};

} // namespace

TEST(NotAFile, AFifoInThePlaceOfTheDayFileOrAProtocolIsNotWaitedFor) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("Temp"))));
    Fifo dayFifo(dir.filePath(QStringLiteral("Temp/") + dayFileName(kToday)));
    Fifo protocolFifo(dir.filePath(QStringLiteral("Протокол.txt")));
    ASSERT_TRUE(dayFifo.made() && protocolFifo.made());

    Configuration config;
    config.load(dir.path());
    ManualClock clock;
    WarningDisplay display;
    SavingOperator op;
    RecordingLink link;
    Engine engine(config, display, op, link, clock, dir.path());
    QElapsedTimer timer;
    timer.start();
    engine.startUp(); // silent, as for any day file that cannot be read
    EXPECT_TRUE(op.boxes.isEmpty());
    op.opens.push_back(dir.filePath(QStringLiteral("Протокол.txt")));
    engine.OpenClick();
    EXPECT_EQ(op.boxes, QStringList{QStringLiteral("Ошибка | Файл не содержит данных или повреждён !")});
    EXPECT_LT(timer.elapsed(), 2000);
}
