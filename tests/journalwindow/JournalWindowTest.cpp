// The journal's window offscreen over a generated journal of 10 000 records: the filters and the search find
// exactly the records they should, page after page; a record shows its values, its curve with every line
// and a link to its calibration; a note made in the window is a new record and the original keeps its hash.
#include "app/journal/JournalWindow.h"
#include "ReplayRunner.h"
#include "Scenario.h"
#include "app/journal/ControlChart.h"
#include "fakes/ExampleDay.h"
#include "fakes/WaitFor.h"
#include "journal/Recorder.h"
#include "journal/Store.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QUuid>

#include "app/CustomPlot.h"

#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::journal;
using namespace lorimet::journalwindow;
using lorimet::testing::waitFor;

namespace {

// LORIMET_SCREENSHOTS_DIR=DIR saves the window as the documentation shows it.
void screenshot(QWidget& window, const char* name) {
    const QString folder = qEnvironmentVariable("LORIMET_SCREENSHOTS_DIR");
    if (folder.isEmpty())
        return;
    waitFor([] { return false; }, 200); // let the layout and the coalesced redraws settle
    window.grab().save(QDir(folder).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
}

constexpr int kRecords = 10000;
const QString kNorth = QStringLiteral("00000000-0000-4000-8000-00000000000a");
const QString kSouth = QStringLiteral("00000000-0000-4000-8000-00000000000b");

// Record i: finished on day i / 100 of 2026 at 08:00 + (i % 100) minutes; every tenth a GSO calibration,
// the one after it an upper point, the rest analyses measured against the calibration before them; even
// ones at station «Север», odd ones at «Юг»; one analysis in a hundred from the river Iset, with 40 lines.
Record generated(int i, const QString& calibration) {
    Record r;
    const QDateTime at = QDateTime(QDate(2026, 1, 1).addDays(i / 100), QTime(8, 0)).addSecs((i % 100) * 60);
    r.set(u"id", QStringLiteral("00000000-0000-4000-9000-%1").arg(i, 12, 10, QChar(u'0')));
    const QString kind = i % 10 == 0   ? QStringLiteral("calibration")
                         : i % 10 == 1 ? QStringLiteral("upper-point")
                                       : QStringLiteral("analysis");
    r.set(u"kind", kind);
    r.set(u"status", QStringLiteral("completed"));
    r.set(u"station", i % 2 == 0 ? kNorth : kSouth);
    r.set(u"station_name", i % 2 == 0 ? QStringLiteral("Север") : QStringLiteral("Юг"));
    r.set(u"operator", QStringLiteral("lab"));
    r.set(u"source", QStringLiteral("live"));
    r.set(u"started_at", isoTime(at.addSecs(-50)));
    r.set(u"finished_at", isoTime(at));
    r.set(u"rate_coefficient", 2.0 + i / 10 * 0.001);
    r.set(u"range_coefficient", 0.5);
    if (kind == u"analysis") {
        const bool river = i % 100 == 7;
        r.set(u"description",
              river ? QStringLiteral("Проба %1 (р. Исеть)").arg(i) : QStringLiteral("Проба %1").arg(i));
        r.set(u"analysis_kind", QStringLiteral("Full"));
        r.set(u"dilution", 1.0);
        r.set(u"bod_initial", 4.0 + (i % 50) / 10.0);
        r.set(u"bod_final", 4.5);
        r.set(u"mean_temperature", 20.3);
        r.set(u"calibration_id", calibration);
        if (river)
            for (int k = 0; k < 40; ++k)
                r.lines.push_back({k * 500, QStringLiteral("%1 %нас").arg(95 - k * 0.2), 95 - k * 0.2,
                                   95 - k * 0.19, k * 0.01, 20.3});
    } else if (kind == u"calibration") {
        r.set(u"certified_value", 10.0);
    }
    return r;
}

class JournalWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new QTemporaryDir;
        QString error;
        auto store = Store::openSqlite(folder_->filePath(QStringLiteral("lorimet.db")), error);
        ASSERT_TRUE(store) << error.toStdString();
        std::vector<Record> records;
        records.reserve(kRecords);
        QString calibration;
        for (int i = 0; i < kRecords; ++i) {
            records.push_back(generated(i, calibration));
            if (i % 10 == 0)
                calibration = records.back().text(u"id");
        }
        for (int first = 0; first < kRecords; first += 1000) {
            std::vector<Record*> batch;
            for (int i = first; i < first + 1000; ++i)
                batch.push_back(&records[static_cast<size_t>(i)]);
            ASSERT_EQ(store->appendAll(batch, error), AppendResult::Added) << error.toStdString();
        }
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }

    void open(JournalWindow::Options o = {}) {
        o.dataFolder = folder_->path();
        window = std::make_unique<JournalWindow>(std::move(o));
        window->show();
        ASSERT_TRUE(waitFor([this] { return window->model().rowCount() > 0; }, 20000));
    }
    template <typename T> T* find(const char* name) { return window->findChild<T*>(QLatin1StringView(name)); }
    // Every record the filter selects, fetched page by page as scrolling would.
    int listedAll() {
        JournalModel& m = window->model();
        EXPECT_TRUE(waitFor(
            [&] {
                if (m.canFetchMore({}))
                    m.fetchMore({});
                return m.atEnd() && !m.waiting();
            },
            30000));
        return m.rowCount();
    }
    bool settled() {
        return waitFor([this] { return !window->model().waiting(); }, 20000);
    }

    static QTemporaryDir* folder_;
    std::unique_ptr<JournalWindow> window;
};
QTemporaryDir* JournalWindowTest::folder_ = nullptr;

TEST_F(JournalWindowTest, FiltersAndSearchFindTheRightRecordsPageAfterPage) {
    open();
    EXPECT_EQ(window->model().rowCount(), JournalModel::kPageSize); // the first page only, not 10 000
    EXPECT_TRUE(window->source().description.contains(folder_->path()));
    EXPECT_EQ(listedAll(), kRecords);

    // The station list is filled from the journal.
    auto* station = find<QComboBox>("JournalStation");
    ASSERT_TRUE(waitFor([&] { return station->count() == 3; }, 10000));

    struct Case {
        const char* what;
        std::function<void()> set;
        int expected;
    } cases[] = {
        {"search, as typed", [&] { find<QLineEdit>("JournalSearch")->setText(QStringLiteral("исеть")); },
         100},
        {"search and station", [&] { station->setCurrentIndex(station->findText(QStringLiteral("Юг"))); },
         100},
        {"station alone", [&] { find<QLineEdit>("JournalSearch")->clear(); }, kRecords / 2},
        {"kind and station",
         [&] {
             find<QComboBox>("JournalKind")
                 ->setCurrentIndex(find<QComboBox>("JournalKind")->findData(QStringLiteral("calibration")));
         },
         0}, // calibrations are all at the even station
        {"kind", [&] { station->setCurrentIndex(0); }, kRecords / 10},
        {"one day",
         [&] {
             find<QComboBox>("JournalKind")->setCurrentIndex(0);
             find<QDateEdit>("JournalFrom")->setDate(QDate(2026, 1, 3));
             find<QDateEdit>("JournalTo")->setDate(QDate(2026, 1, 3));
         },
         100},
        {"a word nobody wrote", [&] { find<QLineEdit>("JournalSearch")->setText(QStringLiteral("Волга")); },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.set();
        ASSERT_TRUE(settled());
        EXPECT_EQ(listedAll(), c.expected);
    }
    // The day's records are that day's, in order.
    find<QLineEdit>("JournalSearch")->clear();
    ASSERT_TRUE(settled());
    ASSERT_EQ(listedAll(), 100);
    EXPECT_EQ(window->model().row(0)->record.text(u"id"),
              QStringLiteral("00000000-0000-4000-9000-000000000200"));
    EXPECT_EQ(window->model().row(99)->record.text(u"id"),
              QStringLiteral("00000000-0000-4000-9000-000000000299"));
}

TEST_F(JournalWindowTest, ARecordShowsItsValuesItsCurveAndItsCalibration) {
    open();
    find<QLineEdit>("JournalSearch")->setText(QStringLiteral("проба 507 ("));
    ASSERT_TRUE(settled());
    ASSERT_EQ(listedAll(), 1);
    find<QTableView>("JournalTable")->selectRow(0);
    ASSERT_TRUE(waitFor([this] { return window->shown() != nullptr; }, 10000));
    const RecordDetails* d = window->shown();
    EXPECT_EQ(d->record.text(u"description"), QStringLiteral("Проба 507 (р. Исеть)"));
    ASSERT_TRUE(d->calibration);
    EXPECT_EQ(d->calibration->text(u"id"), QStringLiteral("00000000-0000-4000-9000-000000000500"));

    auto* curve = find<QCustomPlot>("JournalCurve");
    ASSERT_GE(curve->graphCount(), 3);
    for (int g = 0; g < 3; ++g)
        EXPECT_EQ(curve->graph(g)->dataCount(), 40) << g;
    EXPECT_DOUBLE_EQ(curve->graph(0)->data()->at(39)->value, 95 - 39 * 0.19); // smoothed, left axis
    EXPECT_EQ(curve->graph(1)->valueAxis(), curve->yAxis2);                   // derivative, right axis
    EXPECT_DOUBLE_EQ(curve->graph(1)->data()->at(39)->key, 19.5);             // seconds since the start
    EXPECT_FALSE(curve->graph(2)->visible());                                 // the raw signal on request
    find<QCheckBox>("JournalRawShown")->setChecked(true);
    EXPECT_TRUE(curve->graph(2)->visible());

    const QString html = find<QTextBrowser>("JournalRecordView")->toHtml();
    EXPECT_TRUE(html.contains(QStringLiteral("record:00000000-0000-4000-9000-000000000500")));
    EXPECT_TRUE(html.contains(QStringLiteral("4,7 мг/л"))) << html.toStdString(); // BOD' of record 507

    // One click opens the calibration, which lists the analyses measured against it.
    window->showRecord(d->calibration->text(u"id"));
    ASSERT_TRUE(waitFor([this] { return window->shown()->record.text(u"kind") == u"calibration"; }, 10000));
    EXPECT_EQ(window->shown()->analyses.size(), 8u); // records 502..509

    // The whole list with that record open, for the documentation.
    find<QLineEdit>("JournalSearch")->clear();
    ASSERT_TRUE(settled());
    window->showRecord(QStringLiteral("00000000-0000-4000-9000-000000000107"));
    ASSERT_TRUE(
        waitFor([this] { return window->shown()->record.text(u"description").contains(u"107"); }, 10000));
    find<QTabWidget>("JournalTabs")->setCurrentIndex(1);
    screenshot(*window, "journal-window");
}

TEST_F(JournalWindowTest, ANoteMadeInTheWindowIsANewRecordAndTheOriginalKeepsItsHash) {
    QTemporaryDir data;
    // A station of its own, recording into a copy of the journal, as the program's recorder does.
    ASSERT_TRUE(QFile::copy(folder_->filePath(QStringLiteral("lorimet.db")),
                            data.filePath(QStringLiteral("lorimet.db"))));
    auto recorder = startRecorder(data.path(), QString(), QStringLiteral("live"), QStringLiteral("test"),
                                  [](const QString& m) { ADD_FAILURE() << m.toStdString(); });
    JournalWindow::Options o;
    o.annotate = [&recorder](Record note, std::function<void(bool, QString)> done) {
        recorder->append(std::move(note), [done](bool ok, const QString& error) { done(ok, error); });
    };
    o.dataFolder = data.path();
    window = std::make_unique<JournalWindow>(std::move(o));
    window->show();
    ASSERT_TRUE(waitFor([this] { return window->model().rowCount() > 0; }, 20000));
    find<QLineEdit>("JournalSearch")->setText(QStringLiteral("Проба 4202"));
    ASSERT_TRUE(settled());
    ASSERT_EQ(listedAll(), 1);
    find<QTableView>("JournalTable")->selectRow(0);
    ASSERT_TRUE(waitFor([this] { return window->shown() != nullptr; }, 10000));
    const Record original = window->shown()->record;
    ASSERT_EQ(original.text(u"description"), QStringLiteral("Проба 4202"));

    // The technician's hands: a reason and the invalid mark, then Save.
    QTimer hands;
    bool typed = false;
    QObject::connect(&hands, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != u"AnnotationDialog")
            return;
        dialog->findChild<QPlainTextEdit*>(QStringLiteral("AnnotationNote"))
            ->setPlainText(QStringLiteral("пузырь воздуха"));
        dialog->findChild<QCheckBox*>(QStringLiteral("AnnotationInvalid"))->setChecked(true);
        dialog->findChild<QDialogButtonBox*>(QStringLiteral("AnnotationButtons"))
            ->button(QDialogButtonBox::Ok)
            ->click();
        typed = true;
    });
    hands.start(50);
    find<QPushButton>("JournalAnnotate")->click();
    hands.stop();
    ASSERT_TRUE(typed);
    ASSERT_TRUE(waitFor([this] { return window->model().row(0)->marks.invalid; }, 10000));
    ASSERT_TRUE(
        waitFor([this] { return window->shown() && window->shown()->annotations.size() == 1; }, 10000));
    recorder->waitIdle();

    QString error;
    auto store = Store::openExisting(data.filePath(QStringLiteral("lorimet.db")), error);
    ASSERT_TRUE(store);
    const auto notes = store->annotationsOf(original.text(u"id"), error);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].text(u"note"), QStringLiteral("пузырь воздуха"));
    EXPECT_EQ(notes[0].value(u"invalidates"), QVariant(true));
    EXPECT_EQ(store->find(original.text(u"id"), false, error)->text(u"hash"), original.text(u"hash"));
    const auto report = store->verify(error);
    ASSERT_TRUE(report);
    EXPECT_FALSE(report->finding);
    EXPECT_EQ(report->records, kRecords + 1);
}

} // namespace

namespace {

TEST(ControlCharts, FlagTheRuleEachPointBreaks) {
    auto flagged = [](const ControlChart& c) {
        std::vector<std::pair<size_t, QString>> out;
        for (size_t i = 0; i < c.points.size(); ++i)
            for (const QString& rule : c.points[i].rules)
                out.emplace_back(i, rule);
        return out;
    };
    std::vector<double> steady;
    for (int i = 0; i < 19; ++i)
        steady.push_back(i % 2 == 0 ? 2.00 : 2.02);

    EXPECT_FALSE(controlChart({}).centre);
    EXPECT_FALSE(controlChart({2.0}).centre);
    const ControlChart calm = controlChart(steady);
    ASSERT_TRUE(calm.centre);
    EXPECT_TRUE(flagged(calm).empty());
    EXPECT_EQ(calm.basis, 19);

    // One calibration far off: beyond 3σ, and left out of the limits, so its neighbours are no run below
    // a centre it pulled up.
    std::vector<double> outlier = steady;
    outlier.push_back(2.5);
    const ControlChart off = controlChart(outlier);
    EXPECT_EQ(flagged(off), (std::vector<std::pair<size_t, QString>>{{19, kBeyondThreeSigma}}));
    EXPECT_EQ(off.basis, 19);
    EXPECT_NEAR(*off.centre, *calm.centre, 1e-12);

    // Seven in a row above the centre: the seventh is flagged, and the run goes on flagging.
    std::vector<double> drift;
    for (int i = 0; i < 10; ++i)
        drift.push_back(i % 2 == 0 ? 2.02 : 2.00);
    for (int i = 0; i < 8; ++i)
        drift.push_back(2.015);
    EXPECT_EQ(flagged(controlChart(drift)),
              (std::vector<std::pair<size_t, QString>>{{16, kRunOnOneSide}, {17, kRunOnOneSide}}));

    // A point on the other side ends a run; the limits come from the last 20 only.
    std::vector<double> broken(6, 3.0);
    broken.push_back(2.0);
    broken.insert(broken.end(), 6, 3.0);
    broken.push_back(2.0);
    const ControlChart b = controlChart(broken);
    EXPECT_TRUE(flagged(b).empty());
    std::vector<double> long_(30, 1.0);
    long_[0] = 100; // older than the basis: no part of the limits
    for (size_t i = 10; i < 30; ++i)
        long_[i] = i % 2 == 0 ? 1.0 : 1.1;
    const ControlChart l = controlChart(long_);
    EXPECT_EQ(l.basis, ControlChart::kBasis);
    EXPECT_NEAR(*l.centre, 1.05, 1e-12);
    EXPECT_EQ(l.points[0].rules, QStringList{kBeyondThreeSigma});
}

TEST(CalibrationHistory, TheWindowFlagsAnOutOfLimitCalibrationWithItsRule) {
    QTemporaryDir data;
    QString error;
    {
        auto store = Store::openSqlite(data.filePath(QStringLiteral("lorimet.db")), error);
        ASSERT_TRUE(store);
        for (int i = 0; i < 25; ++i) {
            Record r = generated(i * 10, QString()); // every one a calibration at «Север»
            r.set(u"rate_coefficient", i == 22 ? 2.6 : (i % 2 == 0 ? 2.00 : 2.02));
            r.set(u"range_coefficient", i % 2 == 0 ? 0.50 : 0.51);
            ASSERT_EQ(store->append(r, error), AppendResult::Added) << error.toStdString();
        }
    }
    JournalWindow::Options o;
    o.dataFolder = data.path();
    JournalWindow window(o);
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.chartedCalibrations().size() == 25; }, 20000));
    auto* rate = window.findChild<QCustomPlot*>(QStringLiteral("JournalControlRate"));
    auto* range = window.findChild<QCustomPlot*>(QStringLiteral("JournalControlRange"));
    ASSERT_EQ(rate->graphCount(), 2);
    EXPECT_EQ(rate->graph(0)->dataCount(), 25);
    ASSERT_EQ(rate->graph(1)->dataCount(), 1); // the flagged points
    EXPECT_DOUBLE_EQ(rate->graph(1)->data()->at(0)->value, 2.6);
    EXPECT_EQ(range->graph(1)->dataCount(), 0);
    const QString findings =
        window.findChild<QTextBrowser*>(QStringLiteral("JournalControlFindings"))->toPlainText();
    EXPECT_TRUE(findings.contains(kBeyondThreeSigma)) << findings.toStdString();
    EXPECT_TRUE(findings.contains(QStringLiteral("Коэффициент по скорости = 2,6"))) << findings.toStdString();
    // The last calibration was made in January: far older than the day it is good for.
    const QString age = window.findChild<QLabel*>(QStringLiteral("JournalCalibrationAge"))->text();
    EXPECT_TRUE(age.contains(QStringLiteral("старше 24 ч"))) << age.toStdString();
    window.findChild<QTabWidget*>(QStringLiteral("JournalTabs"))->setCurrentIndex(2);
    screenshot(window, "journal-control-chart");
}

} // namespace

namespace {

// The example day replayed into a journal, its Full analysis opened in the window and evaluated again from
// the dialog with the filter it was recorded with: exactly the recorded BOD' and BOD; a heavier filter gives
// other ones, and neither changes the record.
TEST(ReevaluateDialog, TheRecordedFilterGivesBackTheRecordedResults) {
    QTemporaryDir data;
    const lorimet::testing::ExampleDay day = lorimet::testing::replayExampleDay(data.path());
    ASSERT_EQ(day.exitCode, 0);
    ASSERT_TRUE(day.messages.isEmpty()) << day.messages.join(u'\n').toStdString();
    QString error;
    QString fullId, smallId;
    {
        auto store = Store::openExisting(data.filePath(QStringLiteral("lorimet.db")), error);
        ASSERT_TRUE(store) << error.toStdString();
        for (const Record& r : store->list({}, error)) {
            if (r.text(u"analysis_kind") == u"Full")
                fullId = r.text(u"id");
            else if (r.text(u"analysis_kind") == u"Small")
                smallId = r.text(u"id");
        }
    }
    ASSERT_FALSE(fullId.isEmpty());

    JournalWindow::Options o;
    o.dataFolder = data.path();
    JournalWindow window(o);
    window.show();
    window.showRecord(fullId);
    ASSERT_TRUE(
        waitFor([&] { return window.shown() && window.shown()->record.text(u"id") == fullId; }, 20000));
    const Record recorded = window.shown()->record;
    ASSERT_FALSE(recorded.value(u"bod_final").isNull());

    // The technician's hands: the first evaluation (the recorded filter), then A at 91, then close.
    struct Seen {
        QVariant initial, final;
    };
    std::vector<Seen> seen;
    QTimer hands;
    QObject::connect(&hands, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != u"ReevaluateDialog")
            return;
        auto* result = dialog->findChild<QLabel*>(QStringLiteral("ReevaluateResult"));
        if (!result->property("bodInitial").isValid())
            return; // still evaluating
        seen.push_back({result->property("bodInitial"), result->property("bodFinal")});
        if (seen.size() == 1) {
            dialog->findChild<QSpinBox*>(QStringLiteral("ReevaluateA"))->setValue(91);
            dialog->findChild<QPushButton*>(QStringLiteral("ReevaluateRun"))->click();
        } else {
            dialog->reject();
        }
    });
    hands.start(20);
    window.findChild<QPushButton*>(QStringLiteral("JournalReevaluate"))->click();
    hands.stop();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].initial.toDouble(), recorded.value(u"bod_initial").toDouble());
    EXPECT_EQ(seen[0].final.toDouble(), recorded.value(u"bod_final").toDouble());
    EXPECT_NE(seen[1].initial.toDouble(), recorded.value(u"bod_initial").toDouble());

    auto store = Store::openExisting(data.filePath(QStringLiteral("lorimet.db")), error);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->find(fullId, false, error)->text(u"hash"), recorded.text(u"hash"));

    // Closed while its journal is still being opened and a record read: it goes quietly.
    for (int i = 0; i < 3; ++i) {
        JournalWindow closing(o);
        closing.showRecord(smallId);
    }
}

} // namespace
