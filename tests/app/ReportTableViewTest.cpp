// The report table as the window shows it: every text whole at each table font size, column widths that
// follow the content both ways, and rows that reach the view one change at a time instead of by resets.
#include "app/MainWindow.h"
#include "fakes/Fakes.h"
#include "reports/DayProtocol.h"
#include "reports/ProtocolText.h"
#include "text/TimeText.h"

#include <QAbstractItemDelegate>
#include <QDir>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

struct Block {
    QString description;
    double rate;
    std::optional<double> range;
    std::optional<double> toxicity;
    QString time;
    QString date;
};

// A day file writes a toxicity index after the full form; a saved protocol file has it in the full form's
// place, and the toxicity wins there.
QStringList protocolOf(const std::vector<Block>& blocks, bool dayFile) {
    QStringList lines;
    for (const Block& b : blocks) {
        lines << QStringLiteral("2") << dataLine(90, 0.01, 0) << dataLine(89, 0.02, 0.00001) << b.description;
        QString result;
        if (dayFile) {
            result = resultLine(b.rate, b.range.has_value(), b.range.value_or(0), false, 0);
            if (b.toxicity)
                result +=
                    QStringLiteral("ОТ=%1 %").arg(QString::number(*b.toxicity, 'f', 1).replace(u'.', u','));
        } else {
            result = resultLine(b.rate, b.range.has_value(), b.range.value_or(0), b.toxicity.has_value(),
                                b.toxicity.value_or(0));
        }
        lines << result << temperatureLine(20.46, QStringLiteral("12:34")) << timeDateLine(b.time, b.date);
    }
    return lines;
}

// The widest texts each column can hold: three-digit results, a toxicity index, row numbers up to 100 and
// the dates whose digits are widest.
std::vector<Block> widestDay(const QString& date) {
    std::vector<Block> blocks;
    for (int i = 0; i < 100; ++i)
        blocks.push_back({QStringLiteral("Проба %1").arg(i + 1), 999.99, 888.88,
                          i % 2 ? std::optional<double>(888.8) : std::nullopt, QStringLiteral("08:08:08"),
                          date});
    blocks.push_back({QStringLiteral("Сточная вода, выпуск № 2 (после очистных сооружений)"), 0.456,
                      std::nullopt, std::nullopt, QStringLiteral("14:05:09"), date});
    return blocks;
}

class FileOperator : public ScriptedOperator {
  public:
    std::optional<QString> file;
    std::optional<QString> openFileName(const QString&, const QString&, const QString&) override {
        return file;
    }
};

class ReportTableViewTest : public ::testing::Test {
  protected:
    // The window with today's day file holding `day`, started as the program starts it.
    void start(const std::vector<Block>& day = {}) {
        ASSERT_TRUE(dir.isValid());
        if (!day.empty()) {
            QDir().mkpath(dir.filePath(QStringLiteral("Temp")));
            const QString today = dateText(clock.now().date());
            ASSERT_TRUE(writeProtocolFile(dir.filePath(QStringLiteral("Temp/") + dayFileName(today)),
                                          protocolOf(day, true)));
        }
        config.load(dir.path());
        window = std::make_unique<MainWindow>(config);
        engine = std::make_unique<Engine>(config, *window, op, link, clock, dir.path());
        window->applyConfiguration();
        window->attach(*engine);
        resets = std::make_unique<QSignalSpy>(model(), &QAbstractItemModel::modelReset);
        inserts = std::make_unique<QSignalSpy>(model(), &QAbstractItemModel::rowsInserted);
        engine->startUp();
        window->show();
        window->ResTableClick();
    }
    void TearDown() override {
        engine.reset();
        window.reset();
    }
    QTableView* view() const { return window->table(); }
    QAbstractItemModel* model() const { return window->table()->model(); }
    QList<int> widths() const {
        QList<int> w;
        for (int c = 0; c < model()->columnCount(); ++c)
            w << view()->columnWidth(c);
        return w;
    }
    void open(const std::vector<Block>& blocks) {
        const QString path = dir.filePath(QStringLiteral("file.txt"));
        ASSERT_TRUE(writeProtocolFile(path, protocolOf(blocks, false)));
        op.file = path;
        engine->OpenClick();
        ASSERT_TRUE(op.boxes.isEmpty()) << op.boxes.join(u'\n').toStdString();
    }

    // Each text against the room the view gives it: the delegate's own size for the text (the style's cell
    // margins included) within the cell's rectangle, the header's size for its label (its margins, and the
    // bold face a selected column's heading takes) within the section.
    void expectEveryTextWhole(int fontSize) const {
        for (int c = 0; c < model()->columnCount(); ++c) {
            const QString heading = model()->headerData(c, Qt::Horizontal).toString();
            EXPECT_LE(view()->horizontalHeader()->sectionSizeHint(c), view()->columnWidth(c))
                << "heading \"" << heading.toStdString() << "\" at " << fontSize << " pt";
        }
        for (int r = 0; r < model()->rowCount(); ++r)
            for (int c = 0; c < model()->columnCount(); ++c) {
                const QModelIndex index = model()->index(r, c);
                const QString text = index.data().toString();
                if (text.isEmpty())
                    continue;
                QStyleOptionViewItem option;
                option.initFrom(view());
                option.widget = view();
                option.font = view()->font();
                option.fontMetrics = QFontMetrics(option.font);
                option.rect = view()->visualRect(index);
                const QSize needed = view()->itemDelegateForIndex(index)->sizeHint(option, index);
                EXPECT_LE(needed.width(), option.rect.width())
                    << "row " << r + 1 << " column " << c << " \"" << text.toStdString() << "\" at "
                    << fontSize << " pt";
            }
    }

    QTemporaryDir dir;
    Configuration config;
    ManualClock clock;
    FileOperator op;
    RecordingLink link;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<QSignalSpy> resets, inserts;
};

} // namespace

TEST_F(ReportTableViewTest, EveryCellAndHeadingIsShownWholeAtEachTableFontSize) {
    start(widestDay(dateText(clock.now().date())));
    ASSERT_EQ(model()->rowCount(), 101);
    for (int size : {8, 9, 10}) {
        window->setTableFontSize(size);
        expectEveryTextWhole(size);
    }
    // A file's rows take their dates from the file, the widest digits included.
    open(widestDay(QStringLiteral("08.08.08 г")));
    for (int size : {10, 8, 9}) {
        window->setTableFontSize(size);
        expectEveryTextWhole(size);
    }
}

TEST_F(ReportTableViewTest, ColumnWidthsFollowTheContentBothWays) {
    start();
    const QList<int> headingsOnly = widths();
    for (int w : headingsOnly)
        EXPECT_GT(w, 0);

    open(widestDay(QStringLiteral("06.12.26 г")));
    const QList<int> full = widths();
    EXPECT_GT(full[1], headingsOnly[1]); // the long description
    EXPECT_GT(full[2], headingsOnly[2] - 1);

    // A file of short rows after the long ones: the columns shrink to what is shown now.
    open({{QStringLiteral("П"), 1.5, std::nullopt, std::nullopt, QStringLiteral("10:00:00"),
           QStringLiteral("06.12.26 г")}});
    EXPECT_EQ(model()->rowCount(), 1);
    EXPECT_LT(widths()[1], full[1]);

    engine->CleanClick();
    EXPECT_EQ(widths(), headingsOnly);

    // A larger font widens every column; back at the old size they are as they were.
    open(widestDay(QStringLiteral("06.12.26 г")));
    window->setTableFontSize(12);
    for (int c = 0; c < model()->columnCount(); ++c)
        EXPECT_GT(view()->columnWidth(c), full[c]) << c;
    window->setTableFontSize(config.settings().sizes[3]);
    EXPECT_EQ(widths(), full);
}

TEST_F(ReportTableViewTest, RowsReachTheViewWithoutResettingIt) {
    // Today's day is one change at start-up, however many rows it holds.
    start(widestDay(dateText(clock.now().date())));
    EXPECT_EQ(model()->rowCount(), 101);
    EXPECT_EQ(resets->count(), 0);
    EXPECT_EQ(inserts->count(), 1);

    // A file's blocks come in one by one: the first fills the empty row the clearing leaves, each later one
    // is a row added at the bottom; the view is never reset.
    view()->setCurrentIndex(model()->index(0, 1));
    resets->clear();
    inserts->clear();
    open(widestDay(QStringLiteral("06.12.26 г")));
    EXPECT_EQ(model()->rowCount(), 101);
    EXPECT_EQ(resets->count(), 0);
    EXPECT_EQ(view()->currentIndex(), model()->index(0, 1));
    ASSERT_EQ(inserts->count(), 100);
    for (int i = 0; i < inserts->count(); ++i)
        EXPECT_EQ(inserts->at(i).at(1).toInt(), i + 1) << "insert " << i;
}
