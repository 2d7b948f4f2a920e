// lorimet-journal report on a replayed day: one A4 page per record with the values as the report table
// shows them, the invalid one marked, and the exit status that tells a wrong command from a failure.
#include "ReplayRunner.h"
#include "ReportTestHelpers.h"
#include "Scenario.h"
#include "fakes/ExampleDay.h"
#include "journal/Recorder.h"
#include "journal/Store.h"
#include "reports/ProtocolText.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::journal;
using namespace lorimet::reporttest;

namespace {

const QString kLabName = QStringLiteral("Лаборатория контроля качества воды «Аквалаб»");
const QString kLabAddress = QStringLiteral("620000, г. Екатеринбург, ул. Малышева, д. 1");

exporttest::ProcessResult journalTool(const QStringList& args) {
    return exporttest::runProcess(QStringLiteral(LORIMET_JOURNAL_TOOL), args);
}

class ReportTool : public ::testing::Test {
  protected:
    // The example day (upper point, GSO 10, a Small and a Full analysis at dilution 2) into the journal of
    // a data folder that names its lab.
    void SetUp() override {
        const lorimet::testing::ExampleDay day = lorimet::testing::replayExampleDay(data());
        ASSERT_EQ(day.exitCode, 0);
        ASSERT_TRUE(day.messages.isEmpty()) << day.messages.join(u'\n').toStdString();
        {
            QSettings ini(data() + QStringLiteral("/lorimet.ini"), QSettings::IniFormat);
            ini.setValue(QStringLiteral("lab/name"), kLabName);
            ini.setValue(QStringLiteral("lab/address"), kLabAddress);
        }
        QString storeError;
        auto store = Store::openExisting(data() + QStringLiteral("/lorimet.db"), storeError);
        ASSERT_TRUE(store) << storeError.toStdString();
        records = store->list({}, storeError);
        ASSERT_EQ(records.size(), 4u);
    }

    QString data() const { return dir.filePath(QStringLiteral("data")); }
    QStringList tool(const QStringList& args) const {
        return QStringList{QStringLiteral("--data-dir"), data()} + args;
    }
    const Record& byKind(const char* kind, const char* analysisKind = nullptr) const {
        for (const Record& r : records)
            if (r.text(u"kind") == QLatin1StringView(kind) &&
                (!analysisKind || r.text(u"analysis_kind") == QLatin1StringView(analysisKind)))
                return r;
        return records.front();
    }

    QTemporaryDir dir;
    std::vector<Record> records;
};

TEST_F(ReportTool, WritesOnePagePerRecordWithTheValuesAsTheTableShowsThem) {
    const Record& small = byKind("analysis", "Small");
    const Record& full = byKind("analysis", "Full");
    const Record& calibration = byKind("calibration");
    const auto marked =
        journalTool(tool({QStringLiteral("annotate"), small.text(u"id"), QStringLiteral("--note"),
                          QStringLiteral("пузырь воздуха в ячейке"), QStringLiteral("--invalid")}));
    ASSERT_EQ(marked.exitCode, 0) << marked.err.toStdString();

    const QString out = dir.filePath(QStringLiteral("протокол")); // gets its .pdf
    const auto written = journalTool(tool({QStringLiteral("report"), small.text(u"id"), full.text(u"id"),
                                           calibration.text(u"id"), QStringLiteral("--pdf"), out}));
    ASSERT_EQ(written.exitCode, 0) << written.err.toStdString();
    const QString pdf = out + QStringLiteral(".pdf");
    ASSERT_TRUE(QFileInfo::exists(pdf));
    EXPECT_TRUE(QString::fromUtf8(written.out).contains(pdf)) << written.out.toStdString();

    const QStringList pages = exporttest::pdfPages(pdf);
    ASSERT_EQ(pages.size(), 3);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_TRUE(pages[k].contains(kLabName)) << pages[k].toStdString();
        EXPECT_TRUE(pages[k].contains(kLabAddress));
    }
    struct Expected {
        const Record* record;
        bool invalid;
    };
    for (const auto& [record, invalid] : {Expected{&small, true}, Expected{&full, false}}) {
        const qsizetype page = record == &small ? 0 : 1;
        SCOPED_TRACE(record->text(u"analysis_kind").toStdString());
        const QString& text = pages[page];
        EXPECT_TRUE(text.contains(record->text(u"description"))) << text.toStdString();
        EXPECT_TRUE(text.contains(record->text(u"id")));
        EXPECT_TRUE(text.contains(record->text(u"hash")));
        // The numbers of the report table's cells, with the unit.
        EXPECT_TRUE(
            text.contains(resultCellText(record->value(u"bod_initial").toDouble()) + QStringLiteral(" мг/л")))
            << text.toStdString();
        if (record->value(u"bod_final").isNull()) {
            EXPECT_FALSE(text.contains(QStringLiteral("по конечной скорости")));
        } else {
            EXPECT_TRUE(text.contains(QStringLiteral("по конечной скорости")));
            EXPECT_TRUE(text.contains(resultCellText(record->value(u"bod_final").toDouble()) +
                                      QStringLiteral(" мг/л")));
        }
        EXPECT_TRUE(text.contains(QStringLiteral("20,4 °C")));
        // The calibration the analysis used, by its time.
        const QString calibrated = QDateTime::fromString(calibration.text(u"finished_at"), Qt::ISODateWithMs)
                                       .toLocalTime()
                                       .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
        EXPECT_TRUE(text.contains(calibrated)) << calibrated.toStdString();
        EXPECT_EQ(
            text.contains(QStringLiteral("Результат признан недействительным: пузырь воздуха в ячейке")),
            invalid);
        EXPECT_EQ(text.contains(QStringLiteral("пузырь воздуха")), invalid);
    }
    EXPECT_TRUE(pages[2].contains(QStringLiteral("КАЛИБРОВКА ПО РАСТВОРУ ГСО")));
    EXPECT_TRUE(pages[2].contains(QStringLiteral("10 мг/л")));

    // A4 drawn, the curve on it, and the mark across the invalid page only.
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        const auto image = pageImage(pdf, page, 50);
        ASSERT_TRUE(image);
        EXPECT_NEAR(image->width(), 210 / 25.4 * 50, 1.5);
        EXPECT_NEAR(image->height(), 297 / 25.4 * 50, 1.5);
        EXPECT_GT(countPixels(*image, QRectF(0.1, 0.4, 0.8, 0.4), isCurveBlue), 100);
        const int red = countPixels(*image, QRectF(0.4, 0.4, 0.2, 0.2), isMarkRed);
        if (page == 1) {
            EXPECT_GT(red, 100);
        } else {
            EXPECT_EQ(red, 0);
        }
    }
}

TEST_F(ReportTool, ExitStatusTellsAWrongCommandFromARecordOrFileThatFails) {
    const QString id = byKind("analysis", "Full").text(u"id");
    const QString upperPoint = byKind("upper-point").text(u"id");
    const QString out = dir.filePath(QStringLiteral("kept.pdf"));
    QFile kept(out);
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.write("an earlier report");
    kept.close();
    const QString folder = dir.filePath(QStringLiteral("folder.pdf"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct {
        QStringList args;
        int exitCode;
    } cases[] = {
        {{QStringLiteral("report"), QStringLiteral("--pdf"), out}, 2},
        {{QStringLiteral("report"), id}, 2},
        {{QStringLiteral("report"), id, QStringLiteral("--pdf")}, 2},
        {{QStringLiteral("report"), id, QStringLiteral("no-such-record"), QStringLiteral("--pdf"), out}, 1},
        {{QStringLiteral("report"), upperPoint, QStringLiteral("--pdf"), out}, 1},
        {{QStringLiteral("report"), id, QStringLiteral("--pdf"),
          dir.filePath(QStringLiteral("no/such/folder/x"))},
         1},
        {{QStringLiteral("report"), id, QStringLiteral("--pdf"), folder}, 1}, // a folder in the way
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const auto r = journalTool(tool(c.args));
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
        QFile again(out);
        ASSERT_TRUE(again.open(QIODevice::ReadOnly));
        EXPECT_EQ(again.readAll(), QByteArray("an earlier report"));
    }
    // A journal that is not there is a failure, not a report of nothing.
    const auto none =
        exporttest::runProcess(QStringLiteral(LORIMET_JOURNAL_TOOL),
                               {QStringLiteral("--data-dir"), dir.filePath(QStringLiteral("empty")),
                                QStringLiteral("report"), id, QStringLiteral("--pdf"), out});
    EXPECT_EQ(none.exitCode, 1);
}

} // namespace
