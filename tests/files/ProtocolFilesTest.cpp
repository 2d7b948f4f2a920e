// Saving the day protocol and opening protocol files through the engine.
#include "fakes/Fakes.h"

#include "engine/Texts.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"

#include <QDir>
#include <QPointF>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

const QString kDamaged = QStringLiteral("Ошибка | Файл не содержит данных или повреждён !");

class FileDisplay : public RecordingDisplay {
  public:
    std::vector<std::array<QList<double>, 3>> pairs; // x, signal, derivative
    QStringList descriptions;                        // one per pair
    int pairRemovals = 0;
    std::vector<QPointF> temperature;
    QList<int> progress;
    int loadsFinished = 0;
    QStringList title;
    QString hint;
    std::vector<ReportRow> rows;

    void addFileCurvePair(const QList<double>& x, const QList<double>& s, const QList<double>& d,
                          const QString& description) override {
        pairs.push_back({x, s, d});
        descriptions << description;
    }
    void removeFileCurvePairs() override {
        ++pairRemovals;
        pairs.clear();
        descriptions.clear();
    }
    void addPoint(Series series, double x, double y) override {
        if (series == Series::Temperature)
            temperature.emplace_back(x, y);
    }
    void clearSeries(Series series) override {
        if (series == Series::Temperature)
            temperature.clear();
    }
    void setLoadProgress(int percent) override { progress << percent; }
    void loadFinished() override { ++loadsFinished; }
    void setPlotTitle(const QStringList& lines) override { title = lines; }
    void protocolFileShown(const QString& h) override { hint = h; }
    void protocolCleared() override { hint.clear(); }
    void resultRowAdded(const ReportRow& row) override { rows.push_back(row); }
};

class FileOperator : public ScriptedOperator {
  public:
    std::deque<std::optional<QString>> saves;
    std::deque<std::optional<QString>> opens;
    QStringList saveDialogs; // "title | folder | proposed name | filter"
    QStringList openDialogs; // "title | folder | filter"

    std::optional<QString> saveFileName(const QString& title, const QString& folder, const QString& proposed,
                                        const QString& filter) override {
        saveDialogs << QStringList{title, folder, proposed, filter}.join(QStringLiteral(" | "));
        return next(saves);
    }
    std::optional<QString> openFileName(const QString& title, const QString& folder,
                                        const QString& filter) override {
        openDialogs << QStringList{title, folder, filter}.join(QStringLiteral(" | "));
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

QStringList block(int samples, const QString& description, const QString& result, double temperature,
                  const QString& duration, const QString& time, const QString& date) {
    QStringList lines{QString::number(samples)};
    for (int i = 0; i < samples; ++i)
        lines << dataLine(90 - i * 0.5, i * 0.01, i * 0.0000105);
    lines << description << result << temperatureLine(temperature, duration) << timeDateLine(time, date);
    return lines;
}

// Three analyses of the day: small, full, small.
QStringList dayOfThree() {
    return block(3, "Проба 1", resultLine(0.456, false, 0, false, 0), 20.46, "12:34", "10:00:00",
                 "06.12.26 г") +
           block(5, "Река", resultLine(12.3456, true, 7.5, false, 0), 21, "03:05", "10:20:30", "06.12.26 г") +
           block(1, "Озеро", resultLine(1, false, 0, false, 0), 19.95, "00:40", "11:00:00", "06.12.26 г");
}

class ProtocolFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        config.load(dir.path());
        engine = std::make_unique<Engine>(config, display, op, link, clock, dir.path());
    }

    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }

    // Opens the file as the operator would choose it in the open dialog.
    void open(const QString& name) {
        op.opens.push_back(path(name));
        engine->OpenClick();
    }

    std::vector<ReportRow> tableRows() const {
        std::vector<ReportRow> rows;
        const ReportTable& t = engine->table();
        for (int r = 1; r <= engine->acquisition().probeCounter; ++r) {
            ReportRow row;
            for (int c = 0; c < ReportTable::kColumns; ++c)
                row[static_cast<size_t>(c)] = t.cell(r, c);
            rows.push_back(row);
        }
        return rows;
    }

    QTemporaryDir dir;
    Configuration config;
    ManualClock clock; // 6 December 2026, 12:00
    FileDisplay display;
    FileOperator op;
    RecordingLink link;
    std::unique_ptr<Engine> engine;
};

} // namespace

TEST_F(ProtocolFilesTest, SavedDayProtocolOpensAgainWithTheSameRows) {
    ASSERT_TRUE(QDir().mkpath(path("Temp")));
    ASSERT_TRUE(writeProtocolFile(path("Temp/") + dayFileName("06.12.26 г"), dayOfThree()));
    engine->startUp();
    const std::vector<ReportRow> restored = tableRows();
    ASSERT_EQ(restored.size(), 3u);

    // A name without an extension gets ".txt".
    op.saves.push_back(path("Протокол дня"));
    engine->SaveProtocolClick();
    EXPECT_TRUE(op.boxes.isEmpty());
    EXPECT_EQ(op.saveDialogs, QStringList{"Сохранить файл протокола... | " + engine->reportsDayFolder() +
                                          " | Протокол от 06.12.26 г | Текстовый файл (*.txt)|*.txt"});
    EXPECT_EQ(readProtocolFile(path("Протокол дня.txt")), dayOfThree());

    open("Протокол дня.txt");
    EXPECT_EQ(op.openDialogs, QStringList{"Открыть файл протокола... | " + path("Reports") +
                                          " | Файлы протокола (*.txt)|*.txt"});
    EXPECT_TRUE(op.boxes.isEmpty());
    EXPECT_EQ(tableRows(), restored);
    EXPECT_EQ(display.rows, restored);

    ASSERT_EQ(display.pairs.size(), 3u);
    const std::array<int, 3> counts = {3, 5, 1};
    for (size_t k = 0; k < 3; ++k) {
        for (const QList<double>& values : display.pairs[k])
            EXPECT_EQ(values.size(), counts[k]) << k;
        // Each curve starts at its block's own first time, half a unit of 1e-5 day before 0.
        EXPECT_DOUBLE_EQ(display.pairs[k][0][0], -0.5e-5);
        EXPECT_DOUBLE_EQ(display.pairs[k][1][0], 90);
    }
    EXPECT_DOUBLE_EQ(display.pairs[1][0][1], 0.5e-5);
    EXPECT_DOUBLE_EQ(display.pairs[1][2][4], 0.04);
    EXPECT_EQ(display.descriptions, QStringList({"Проба 1", "Река", "Озеро"}));
    // One temperature point per block, at its end time after the first block's.
    ASSERT_EQ(display.temperature.size(), 3u);
    EXPECT_EQ(display.temperature[0], QPointF(0, 20.5));
    EXPECT_DOUBLE_EQ(display.temperature[1].x(), (20 * 60 + 30) / 86400.0);
    EXPECT_DOUBLE_EQ(display.temperature[2].x(), 3600 / 86400.0);

    EXPECT_EQ(display.title, QStringList{"Протокол дня"});
    EXPECT_EQ(engine->protocolLines().toList(), dayOfThree());
    EXPECT_EQ(display.hint, u"Файл протокола: Протокол дня.txt");
    EXPECT_EQ(engine->workflow().reportFolder, dir.path());
    EXPECT_TRUE(engine->workflow().fileViewActive);
    EXPECT_TRUE(engine->dayProtocol().isEmpty());
    EXPECT_EQ(display.progress.front(), 0);
    EXPECT_EQ(display.progress.back(), 100);
    EXPECT_EQ(display.loadsFinished, 1);
    EXPECT_EQ(display.log.mid(display.log.size() - 2), QStringList({"status 8", "status 0"}));
    EXPECT_TRUE(engine->acquisition().analysisKind.isEmpty());
    EXPECT_FALSE(engine->results().toxicityTest);

    // The day's protocol went to the day file before the file was shown, and clearing leaves it there.
    engine->CleanClick();
    EXPECT_EQ(display.pairRemovals, 1);
    EXPECT_TRUE(display.temperature.empty());
    EXPECT_FALSE(engine->workflow().fileViewActive);
    EXPECT_TRUE(display.hint.isEmpty());
    EXPECT_EQ(readProtocolFile(engine->dayFilePath()), dayOfThree());
}

TEST_F(ProtocolFilesTest, RowsTakeTheirDatesAndResultsFromTheFile) {
    engine->startUp();
    const QStringList lines =
        block(2, "Старая проба", resultLine(2, false, 0, true, 45.67), 20, "01:00", "09:00:00",
              "01.11.26 г") +
        block(2, "Ещё одна", resultLine(0.5, true, 0.876, false, 0), 22, "02:00", "08:30:00", "02.11.26 г");
    ASSERT_TRUE(writeProtocolFile(path("ноябрь.txt"), lines));
    open("ноябрь.txt");
    EXPECT_TRUE(op.boxes.isEmpty());
    const std::vector<ReportRow> expected = {
        {"1", "Старая проба", "2,0", "", "45,7", "20,0", "01:00", "09:00:00", "01.11.26 г"},
        {"2", "Ещё одна", "0,50", "0,88", "", "22,0", "02:00", "08:30:00", "02.11.26 г"},
    };
    EXPECT_EQ(tableRows(), expected);
    // A block that ended before the first one lies left of 0 on the temperature chart.
    ASSERT_EQ(display.temperature.size(), 2u);
    EXPECT_DOUBLE_EQ(display.temperature[1].x(), -1800 / 86400.0);

    // Today's date is back at once: opening an old file is no change of day, so the exit sweep still asks
    // before it removes an earlier day's unsaved day file.
    EXPECT_EQ(engine->workflow().dateText, u"06.12.26 г");
    engine->TimerTimer();
    EXPECT_EQ(engine->workflow().dateChangeCount, 0);
}

TEST_F(ProtocolFilesTest, DamagedFilesKeepTheBlocksReadBefore) {
    engine->startUp();
    const QStringList good =
        block(2, "Первая", resultLine(1, false, 0, false, 0), 20, "01:00", "09:00:00", "06.12.26 г") +
        block(3, "Вторая", resultLine(2, false, 0, false, 0), 20, "01:00", "09:10:00", "06.12.26 г");
    auto with = [&](qsizetype index, const QString& line) {
        QStringList lines = good;
        lines[index] = line;
        return lines;
    };
    struct Case {
        const char* name;
        QStringList lines;
        int rows;
    };
    const std::vector<Case> cases = {
        {"first line not an integer", with(0, "Протокол"), 0},
        {"ends inside a block", good.mid(0, good.size() - 2), 1},
        {"exactly one line", {"1"}, 0},
        {"number that does not convert", with(9, "S=+08x,000 dS=+000,000 T=000,0"), 1},
        {"time that does not convert", with(good.size() - 1, "Время: 9-10-00 Дата: 06.12.26 г"), 1},
        {"huge count", with(7, "2000000000"), 1},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(writeProtocolFile(path("damaged.txt"), c.lines));
        op.boxes.clear();
        const QString folderBefore = engine->workflow().reportFolder;
        open("damaged.txt");
        EXPECT_EQ(op.boxes, QStringList{kDamaged}) << c.name;
        EXPECT_EQ(engine->acquisition().probeCounter, c.rows) << c.name;
        EXPECT_EQ(static_cast<int>(display.rows.size()), c.rows) << c.name;
        EXPECT_EQ(static_cast<int>(display.pairs.size()), c.rows) << c.name;
        EXPECT_EQ(static_cast<int>(display.temperature.size()), c.rows) << c.name;
        if (c.rows == 1) {
            EXPECT_EQ(engine->table().cell(1, 1), u"Первая") << c.name;
        }
        // Title, Protocol list and folder stay as the clearing left them.
        EXPECT_TRUE(display.title.isEmpty()) << c.name;
        EXPECT_EQ(engine->protocolCount(), 0) << c.name;
        EXPECT_TRUE(display.hint.isEmpty()) << c.name;
        EXPECT_EQ(engine->workflow().reportFolder, folderBefore) << c.name;
        EXPECT_EQ(display.log.back(), u"status 0") << c.name;
        display.rows.clear();
    }
}

TEST_F(ProtocolFilesTest, AFailedOpenStillEndsAsAFileViewWhenCleared) {
    engine->startUp();
    QStringList lines =
        block(2, "Первая", resultLine(1, false, 0, false, 0), 20, "01:00", "09:00:00", "06.12.26 г");
    lines << "3" << dataLine(1, 0, 0);
    ASSERT_TRUE(writeProtocolFile(path("cut.txt"), lines));
    open("cut.txt");
    ASSERT_EQ(op.boxes, QStringList{kDamaged});
    ASSERT_EQ(display.pairs.size(), 1u);
    EXPECT_TRUE(engine->workflow().fileViewActive);

    engine->CleanClick();
    EXPECT_EQ(display.pairRemovals, 1);
    EXPECT_TRUE(display.pairs.empty());
    EXPECT_TRUE(display.temperature.empty());
    EXPECT_FALSE(engine->workflow().fileViewActive);

    // A file that cannot be read at all says the same.
    op.boxes.clear();
    open("missing.txt");
    EXPECT_EQ(op.boxes, QStringList{kDamaged});
    EXPECT_TRUE(engine->workflow().fileViewActive);
}

TEST_F(ProtocolFilesTest, EmptyFileIsAnEmptyFileViewAndCancelChangesNothing) {
    ASSERT_TRUE(QDir().mkpath(path("Temp")));
    ASSERT_TRUE(writeProtocolFile(path("Temp/") + dayFileName("06.12.26 г"), dayOfThree()));
    engine->startUp();

    engine->OpenClick(); // the dialog is cancelled
    EXPECT_EQ(engine->dayProtocol(), dayOfThree());
    EXPECT_EQ(engine->acquisition().probeCounter, 3);

    ASSERT_TRUE(writeProtocolFile(path("пустой.TXT"), {}));
    open("пустой.TXT");
    EXPECT_TRUE(op.boxes.isEmpty());
    EXPECT_EQ(engine->acquisition().probeCounter, 0);
    EXPECT_TRUE(display.pairs.empty());
    // No ".txt" in the name (the case counts): the title line is empty.
    EXPECT_EQ(display.title, QStringList{QString()});
    EXPECT_EQ(engine->protocolCount(), 0);
    EXPECT_TRUE(engine->workflow().fileViewActive);
}

TEST_F(ProtocolFilesTest, TheProposedNameWithItsDotsStillGetsTheExtension) {
    ASSERT_TRUE(QDir().mkpath(path("Temp")));
    ASSERT_TRUE(writeProtocolFile(path("Temp/") + dayFileName("06.12.26 г"), dayOfThree()));
    engine->startUp();
    for (const char* name : {"Протокол от 06.12.26 г", "Протокол от 06.12.26 г.TXT"}) {
        op.saves.push_back(path(name));
        engine->SaveProtocolClick();
    }
    EXPECT_TRUE(op.boxes.isEmpty());
    EXPECT_EQ(readProtocolFile(path("Протокол от 06.12.26 г.txt")), dayOfThree());
    EXPECT_EQ(readProtocolFile(path("Протокол от 06.12.26 г.TXT")), dayOfThree());
    EXPECT_FALSE(QFileInfo::exists(path("Протокол от 06.12.26 г")));
}

TEST_F(ProtocolFilesTest, SavingFailsWithTheFileName) {
    ASSERT_TRUE(QDir().mkpath(path("Temp")));
    ASSERT_TRUE(writeProtocolFile(path("Temp/") + dayFileName("06.12.26 г"), dayOfThree()));
    engine->startUp();

    op.saves.push_back(std::nullopt);
    engine->SaveProtocolClick();
    EXPECT_TRUE(op.boxes.isEmpty());

    op.saves.push_back(path("нет такой папки/отчёт.txt"));
    engine->SaveProtocolClick();
    EXPECT_EQ(op.boxes, QStringList{"Ошибка | Невозможно записать файл отчёт.txt !"});
    EXPECT_EQ(engine->dayProtocol(), dayOfThree());
}

TEST_F(ProtocolFilesTest, TheDayFolderIsMadeAgainBeforeTheSaveDialog) {
    engine->startUp();
    ASSERT_TRUE(QDir(engine->reportsDayFolder()).removeRecursively());
    engine->SaveProtocolClick(); // cancelled
    EXPECT_TRUE(QDir(engine->reportsDayFolder()).exists());
}
