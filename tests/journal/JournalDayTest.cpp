// A replayed day recorded in the journal: its four records with their kinds, values and links, the
// transcript and day file the same as without a journal, and the lorimet-journal tool on that journal
// (verify after SQL behind its back, import of the day file twice, export).
#include "../export/ExportHelpers.h"
#include "ReplayRunner.h"
#include "Scenario.h"
#include "fakes/ExampleDay.h"
#include "fakes/ToolRun.h"
#include "journal/Recorder.h"
#include "journal/Store.h"
#include "reports/DayProtocol.h"
#include "text/Cp1251.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::journal;

namespace {

struct DayRun {
    QString transcript;
    QByteArray dayFile;
    QStringList messages;
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The example day (connect, automatic upper point, GSO 10, a Small and a Full analysis at dilution 2), with
// or without a journal in the data folder.
DayRun replayDay(const QString& dataFolder, bool journal) {
    DayRun day;
    const lorimet::testing::ExampleDay replayed = lorimet::testing::replayExampleDay(dataFolder, {}, journal);
    EXPECT_EQ(replayed.exitCode, 0);
    day.transcript = replayed.transcript;
    day.messages = replayed.messages;
    day.dayFile = readAll(dataFolder + QStringLiteral("/Temp/") + dayFileName(QStringLiteral("06.12.26 г")));
    return day;
}

using Tool = lorimet::testing::ToolRun;

Tool tool(const QStringList& args) {
    return lorimet::testing::runTool(QStringLiteral(LORIMET_JOURNAL_TOOL), args);
}

class JournalDay : public ::testing::Test {
  protected:
    QString data() const { return dir.filePath(QStringLiteral("data")); }
    std::vector<Record> records() {
        QString error;
        auto store = Store::openExisting(data() + QStringLiteral("/lorimet.db"), error);
        EXPECT_TRUE(store) << error.toStdString();
        return store ? store->list({}, error) : std::vector<Record>{};
    }
    QTemporaryDir dir;
};

TEST_F(JournalDay, LeavesFourRecordsAndChangesNothingElse) {
    const DayRun with = replayDay(data(), true);
    const DayRun without = replayDay(dir.filePath(QStringLiteral("plain")), false);
    EXPECT_TRUE(with.messages.isEmpty()) << with.messages.join(u'\n').toStdString();
    EXPECT_EQ(with.transcript, without.transcript);
    EXPECT_FALSE(with.dayFile.isEmpty());
    EXPECT_EQ(with.dayFile, without.dayFile);

    const auto r = records();
    ASSERT_EQ(r.size(), 4u);
    const QStringList kinds = {r[0].text(u"kind"), r[1].text(u"kind"), r[2].text(u"kind"),
                               r[3].text(u"kind")};
    EXPECT_EQ(kinds, QStringList({"upper-point", "calibration", "analysis", "analysis"}));
    const QString station = r[0].text(u"station");
    for (size_t k = 0; k < r.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(r[k].text(u"status"), QStringLiteral("completed"));
        EXPECT_EQ(r[k].text(u"source"), QStringLiteral("replay"));
        EXPECT_EQ(r[k].text(u"station"), station);
        EXPECT_EQ(r[k].value(u"seq").toLongLong(), static_cast<qint64>(k + 1));
        EXPECT_EQ(r[k].value(u"filter_a").toDouble(), 0.3);
        // Virtual time: the scenario's day, not today.
        EXPECT_TRUE(r[k].text(u"finished_at").startsWith(QStringLiteral("2026-12-06T09:")))
            << r[k].text(u"finished_at").toStdString();
    }
    const Record& calibration = r[1];
    EXPECT_EQ(calibration.value(u"certified_value").toDouble(), 10);
    const Record& small = r[2];
    const Record& full = r[3];
    EXPECT_EQ(small.text(u"calibration_id"), calibration.text(u"id"));
    EXPECT_EQ(full.text(u"calibration_id"), calibration.text(u"id"));
    EXPECT_EQ(small.text(u"analysis_kind"), QStringLiteral("Small"));
    EXPECT_EQ(full.text(u"analysis_kind"), QStringLiteral("Full"));
    EXPECT_EQ(full.value(u"dilution").toDouble(), 2);
    EXPECT_TRUE(small.value(u"bod_final").isNull());

    // The values are those of the day file, which is what the table shows.
    const QString dayText = fromCp1251(with.dayFile);
    for (const Record* a : {&small, &full}) {
        EXPECT_TRUE(dayText.contains(a->text(u"description") + QStringLiteral("\r\n")))
            << a->text(u"description").toStdString();
        const QString bod = QString::number(a->value(u"bod_initial").toDouble(), 'f', 2).replace(u'.', u',');
        EXPECT_TRUE(dayText.contains(QStringLiteral("БПК*=%1").arg(bod, 6, u'0'))) << bod.toStdString();
    }
    // Each analysis keeps its measured run: the count line of its block in the day file.
    EXPECT_TRUE(dayText.startsWith(QString::number(small.value(u"line_count").toLongLong()) +
                                   QStringLiteral("\r\n")));
    QString error;
    auto store = Store::openExisting(data() + QStringLiteral("/lorimet.db"), error);
    const auto withLines = store->find(full.text(u"id"), true, error);
    ASSERT_TRUE(withLines);
    ASSERT_EQ(withLines->lines.size(), static_cast<size_t>(full.value(u"line_count").toLongLong()));
    EXPECT_TRUE(withLines->lines[0].raw.contains(QStringLiteral("%нас")));
    // Elapsed from the line that started the run (itself not kept), a line every 0.5 s.
    EXPECT_EQ(withLines->lines[0].elapsedMs, 500);
    EXPECT_EQ(withLines->lines[1].elapsedMs, 1000);
}

TEST_F(JournalDay, ADamagedJournalIsKeptAsideAndTheDayGoesOn) {
    // The station's anchor names the last of nine records in the journal now damaged: it goes with it.
    QDir().mkpath(data());
    const QString journal = data() + QStringLiteral("/lorimet.db");
    writeChainAnchor(data(), {journal, loadStation(data()).id, 9, QString(64, u'9')});
    QFile damaged(data() + QStringLiteral("/lorimet.db"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, '\x11'));
    damaged.close();
    const DayRun with = replayDay(data(), true);
    const DayRun without = replayDay(dir.filePath(QStringLiteral("plain")), false);
    EXPECT_EQ(with.transcript, without.transcript);
    EXPECT_EQ(with.dayFile, without.dayFile);
    ASSERT_EQ(with.messages.size(), 1);
    EXPECT_TRUE(with.messages[0].contains(QStringLiteral("kept as"))) << with.messages[0].toStdString();
    const QStringList aside = QDir(data()).entryList({QStringLiteral("lorimet.db.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(data() + u'/' + aside[0]), QByteArray(8192, '\x11'));
    EXPECT_EQ(records().size(), 4u);
    const Tool verified = tool({QStringLiteral("--data-dir"), data(), QStringLiteral("verify")});
    EXPECT_EQ(verified.exitCode, 0) << verified.err.toStdString();
}

// A journal begun anew has no records to reach the old anchor with.
TEST_F(JournalDay, InitOverADamagedJournalBeginsANewChain) {
    QDir().mkpath(data());
    const QString journal = data() + QStringLiteral("/lorimet.db");
    writeChainAnchor(data(), {journal, loadStation(data()).id, 9, QString(64, u'9')});
    QFile damaged(journal);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a journal");
    damaged.close();
    const QStringList folder = {QStringLiteral("--data-dir"), data()};
    const Tool init = tool(folder + QStringList{QStringLiteral("init")});
    EXPECT_EQ(init.exitCode, 0);
    EXPECT_TRUE(init.err.contains(QStringLiteral("kept as"))) << init.err.toStdString();
    const Tool verified = tool(folder + QStringList{QStringLiteral("verify")});
    EXPECT_EQ(verified.exitCode, 0) << verified.err.toStdString();
}

TEST_F(JournalDay, VerifyExitsThreeAndNamesTheRecordChangedWithSql) {
    replayDay(data(), true);
    const QStringList journal = {QStringLiteral("--data-dir"), data()};
    const Tool clean = tool(journal + QStringList{QStringLiteral("verify")});
    EXPECT_EQ(clean.exitCode, 0) << clean.err.toStdString();
    EXPECT_TRUE(clean.out.contains(QStringLiteral("4 records"))) << clean.out.toStdString();

    const QString id = records()[3].text(u"id");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("behind"));
        db.setDatabaseName(data() + QStringLiteral("/lorimet.db"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("DROP TRIGGER records_no_update")));
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE records SET bod_initial = 11.9 WHERE id = '%1'").arg(id)));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("behind"));
    const Tool broken = tool(journal + QStringList{QStringLiteral("verify")});
    EXPECT_EQ(broken.exitCode, 3);
    EXPECT_TRUE(broken.err.contains(id + QStringLiteral(": changed"))) << broken.err.toStdString();
    EXPECT_TRUE(broken.err.contains(QStringLiteral("record 4"))) << broken.err.toStdString();
}

// The chain alone cannot tell a chain cut short from a short one; the station's anchor in lorimet.ini can.
TEST_F(JournalDay, VerifyFindsTheLastRecordRemovedWithSql) {
    replayDay(data(), true);
    const QString id = records()[3].text(u"id");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("behind"));
        db.setDatabaseName(data() + QStringLiteral("/lorimet.db"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("DROP TRIGGER records_no_delete")));
        ASSERT_TRUE(q.exec(QStringLiteral("DROP TRIGGER record_lines_no_delete")));
        ASSERT_TRUE(q.exec(QStringLiteral("DELETE FROM record_lines WHERE record_id = '%1'").arg(id)));
        ASSERT_TRUE(q.exec(QStringLiteral("DELETE FROM records WHERE id = '%1'").arg(id)));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("behind"));
    const Tool t = tool({QStringLiteral("--data-dir"), data(), QStringLiteral("verify")});
    EXPECT_EQ(t.exitCode, 3);
    EXPECT_TRUE(t.err.contains(QStringLiteral("record 4: missing"))) << t.err.toStdString();
}

TEST_F(JournalDay, ImportingTheDayFileTwiceGivesItsAnalysesOnce) {
    const DayRun day = replayDay(dir.filePath(QStringLiteral("lab")), false);
    const QString dayFile =
        dir.filePath(QStringLiteral("lab/Temp/")) + dayFileName(QStringLiteral("06.12.26 г"));
    const QStringList journal = {QStringLiteral("--data-dir"), data()};
    const Tool first = tool(journal + QStringList{QStringLiteral("import"), dayFile});
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("2 added, 0 already"))) << first.out.toStdString();
    const Tool again = tool(journal + QStringList{QStringLiteral("import"), dayFile});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.out.contains(QStringLiteral("0 added, 2 already"))) << again.out.toStdString();

    const auto r = records();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].text(u"source"), QStringLiteral("import:") + dayFileName(QStringLiteral("06.12.26 г")));
    EXPECT_EQ(r[0].text(u"analysis_kind"), QStringLiteral("Small"));
    EXPECT_EQ(r[1].text(u"analysis_kind"), QStringLiteral("Full"));
    EXPECT_EQ(r[1].text(u"description"), QStringLiteral("Проба 2 (сток, разб. 1:2)"));
    EXPECT_EQ(tool(journal + QStringList{QStringLiteral("verify")}).exitCode, 0);

    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    const Tool exported = tool(journal + QStringList{QStringLiteral("export"), QStringLiteral("--csv"), csv});
    EXPECT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    const QStringList rows = fromCp1251(readAll(csv)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_TRUE(rows[0].startsWith(QStringLiteral("id;kind;status;")));
    EXPECT_TRUE(rows[2].contains(QStringLiteral(";Проба 2 (сток, разб. 1:2);Full;")))
        << rows[2].toStdString();
    EXPECT_TRUE(rows[2].contains(QStringLiteral(";20,4;"))) << rows[2].toStdString(); // decimal comma

    const Tool json = tool(
        journal + QStringList{QStringLiteral("list"), QStringLiteral("--format"), QStringLiteral("json")});
    EXPECT_EQ(json.out.count(u'\n'), 2);
    EXPECT_TRUE(json.out.contains(QStringLiteral("\"mean_temperature\": 20.4"))) << json.out.toStdString();
}

TEST_F(JournalDay, AnAnnotationIsARecordOfItsOwnAndLeavesTheOriginalAsItWas) {
    replayDay(data(), true);
    const QStringList journal = {QStringLiteral("--data-dir"), data()};
    const Record original = records()[2];
    ASSERT_EQ(original.text(u"kind"), QStringLiteral("analysis"));
    const QString id = original.text(u"id");

    EXPECT_EQ(tool(journal + QStringList{QStringLiteral("annotate"), id}).exitCode, 2); // no note
    EXPECT_EQ(tool(journal + QStringList{QStringLiteral("annotate"), id, QStringLiteral("--note"),
                                         QStringLiteral("  ")})
                  .exitCode,
              2);
    EXPECT_EQ(tool(journal + QStringList{QStringLiteral("annotate"), QStringLiteral("no-such-record"),
                                         QStringLiteral("--note"), QStringLiteral("x")})
                  .exitCode,
              1);
    const Tool marked =
        tool(journal + QStringList{QStringLiteral("annotate"), id, QStringLiteral("--note"),
                                   QStringLiteral("пузырь воздуха в ячейке"), QStringLiteral("--invalid")});
    ASSERT_EQ(marked.exitCode, 0) << marked.err.toStdString();

    const auto r = records();
    ASSERT_EQ(r.size(), 5u);
    const Record& note = r[4];
    EXPECT_EQ(note.text(u"kind"), QStringLiteral("annotation"));
    EXPECT_EQ(note.text(u"corrects"), id);
    EXPECT_EQ(note.text(u"note"), QStringLiteral("пузырь воздуха в ячейке"));
    EXPECT_EQ(note.value(u"invalidates"), QVariant(true));
    EXPECT_EQ(note.value(u"seq").toLongLong(), 5);
    EXPECT_EQ(note.text(u"prev_hash"), r[3].text(u"hash"));
    EXPECT_EQ(r[2].text(u"hash"), original.text(u"hash"));
    EXPECT_EQ(r[2].values, original.values);
    EXPECT_EQ(tool(journal + QStringList{QStringLiteral("verify")}).exitCode, 0);

    const Tool found = tool(journal + QStringList{QStringLiteral("list"), QStringLiteral("--search"),
                                                  QStringLiteral("пузырь"), QStringLiteral("--format"),
                                                  QStringLiteral("json")});
    EXPECT_EQ(found.out.count(u'\n'), 1) << found.out.toStdString();
    EXPECT_TRUE(found.out.contains(QStringLiteral("\"invalidates\": true"))) << found.out.toStdString();
}

TEST_F(JournalDay, AWorkbookExportHoldsTheCsvRowsWithNumbersAsNumbers) {
    if (exporttest::pythonWithOpenpyxl().isEmpty() && qEnvironmentVariableIsEmpty("CI"))
        GTEST_SKIP() << "python3 with openpyxl is not installed";
    replayDay(data(), true);
    const QString out = dir.filePath(QStringLiteral("журнал"));
    const Tool exported = tool(QStringList{QStringLiteral("--data-dir"), data(), QStringLiteral("export"),
                                           QStringLiteral("--xlsx"), out, QStringLiteral("--kind"),
                                           QStringLiteral("analysis")});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    const auto book = exporttest::readWorkbook(out + QStringLiteral(".xlsx"));
    ASSERT_TRUE(book);
    const QJsonObject cells = (*book)[QStringLiteral("cells")].toObject();
    auto at = [&](const char* ref) { return cells[QLatin1StringView(ref)].toObject(); };
    EXPECT_EQ((*book)[QStringLiteral("maxRow")].toInt(), 3); // the heading and two analyses
    EXPECT_EQ((*book)[QStringLiteral("maxColumn")].toInt(), static_cast<int>(kFields.size()));
    EXPECT_EQ(at("A1")[QStringLiteral("value")].toString(), QStringLiteral("id"));
    EXPECT_TRUE(at("A1")[QStringLiteral("bold")].toBool());
    EXPECT_EQ(at("K3")[QStringLiteral("value")].toString(), QStringLiteral("Проба 2 (сток, разб. 1:2)"));
    // bod_initial (P), bod_final (Q), mean_temperature (S): numbers, not texts with a comma.
    EXPECT_EQ(at("P3")[QStringLiteral("type")].toString(), QStringLiteral("n"));
    EXPECT_EQ(at("P3")[QStringLiteral("value")].toDouble(), 12.0);
    EXPECT_EQ(at("S3")[QStringLiteral("value")].toDouble(), 20.4);
    EXPECT_TRUE(at("Q2")[QStringLiteral("value")].isNull()); // a Small analysis has no BOD
}

TEST_F(JournalDay, TheToolsExitStatusTellsWrongUsageFromFailure) {
    const struct {
        QStringList args;
        int exitCode;
    } cases[] = {
        {{QStringLiteral("frobnicate")}, 2},
        {{QStringLiteral("list"), QStringLiteral("--from"), QStringLiteral("6.12.2026")}, 2},
        {{QStringLiteral("list"), QStringLiteral("--format"), QStringLiteral("xml")}, 2},
        {{QStringLiteral("list")}, 1}, // no journal in the data folder
        {{QStringLiteral("--journal"), QStringLiteral("postgresql://lab:pw@db/lorimet"),
          QStringLiteral("status")},
         1},
        {{QStringLiteral("init")}, 0},
        {{QStringLiteral("show"), QStringLiteral("no-such-id")}, 1},
        {{QStringLiteral("sync")}, 2}, // no server named
        {{QStringLiteral("sync"), QStringLiteral("now")}, 2},
        {{QStringLiteral("--journal"), QStringLiteral("postgresql://lab@/lorimet?host=/nonexistent"),
          QStringLiteral("import"), QStringLiteral("day.tmp")},
         2}, // import fills the local journal only
        {{QStringLiteral("--journal"), QStringLiteral("postgresql://lab@/lorimet?host=/nonexistent"),
          QStringLiteral("sync")},
         1}, // the server cannot be reached
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const Tool t = tool(QStringList{QStringLiteral("--data-dir"), data()} + c.args);
        EXPECT_EQ(t.exitCode, c.exitCode) << t.err.toStdString();
        if (c.exitCode != 0) {
            EXPECT_FALSE(t.err.isEmpty());
        }
    }
}

} // namespace
