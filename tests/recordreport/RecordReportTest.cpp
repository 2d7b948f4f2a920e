// The record report's pages through its API: the lab read from lorimet.ini, every text kept on the paper
// and clear of the others whatever the record holds, the end points marked where given, and the PDF file
// written whole or not at all.
#include "app/journal/RecordReport.h"
#include "ReportTestHelpers.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace lorimet;
using namespace lorimet::journal;
using namespace lorimet::recordreport;
using namespace lorimet::reporttest;

namespace {

// A Full analysis of n lines, a line every 0.5 s: the signal falls along an S curve, its derivative a hump.
Record analysis(int lines) {
    Record r;
    r.set(u"id", QStringLiteral("0f0e0d0c-1111-2222-3333-444455556666"));
    r.set(u"kind", QStringLiteral("analysis"));
    r.set(u"status", QStringLiteral("completed"));
    r.set(u"station_name", QStringLiteral("ЛАБ-1"));
    r.set(u"seq", qint64(7));
    r.set(u"operator", QStringLiteral("ivanova"));
    r.set(u"source", QStringLiteral("live"));
    r.set(u"finished_at", QStringLiteral("2026-12-06T09:09:17.000+03:00"));
    r.set(u"description", QStringLiteral("Проба 2 (сток, разб. 1:2)"));
    r.set(u"analysis_kind", QStringLiteral("Full"));
    r.set(u"dilution", 2.0);
    r.set(u"bod_initial", 12.34);
    r.set(u"bod_final", 0.456);
    r.set(u"mean_temperature", 20.46);
    r.set(u"rate_coefficient", 2.05761316872428);
    r.set(u"range_coefficient", 0.4338018393197989);
    r.set(u"calibration_id", QStringLiteral("c5531470-3499-46dc-9399-0ebe2a511130"));
    r.set(u"filter_a", 0.3);
    r.set(u"filter_b", 3.0);
    r.set(u"filter_c", 5.0);
    r.set(u"frequency", 2.0);
    r.set(u"delay", 2.0);
    r.set(u"app_version", QStringLiteral("1.0.1.4"));
    r.set(u"hash", QString(64, u'a'));
    for (int k = 0; k < lines; ++k) {
        const double t = (k - lines / 2.0) / (lines / 8.0);
        const double s = 95 - 14 / (1 + std::exp(-t));
        r.lines.push_back({500 * (k + 1), QStringLiteral(" %1 %нас 20.4").arg(s), s, s,
                           14 * std::exp(-t) / std::pow(1 + std::exp(-t), 2), 20.4});
    }
    r.set(u"line_count", static_cast<qint64>(lines));
    return r;
}

Record calibration() {
    Record c;
    c.set(u"id", QStringLiteral("c5531470-3499-46dc-9399-0ebe2a511130"));
    c.set(u"kind", QStringLiteral("calibration"));
    c.set(u"status", QStringLiteral("completed"));
    c.set(u"finished_at", QStringLiteral("2026-12-06T09:03:25.000+03:00"));
    c.set(u"certified_value", 10.0);
    c.set(u"rate_coefficient", 2.05761316872428);
    c.set(u"range_coefficient", 0.4338018393197989);
    return c;
}

Record note(const Record& of, const QString& text, bool invalid, int minute) {
    Record a;
    a.set(u"id", QStringLiteral("note-%1").arg(minute));
    a.set(u"kind", QStringLiteral("annotation"));
    a.set(u"operator", QStringLiteral("petrov"));
    a.set(u"finished_at",
          QStringLiteral("2026-12-07T10:%1:00.000+03:00").arg(minute, 2, 10, QLatin1Char('0')));
    a.set(u"corrects", of.text(u"id"));
    a.set(u"note", text);
    a.set(u"invalidates", invalid);
    return a;
}

Input typical() {
    Input in;
    in.record = analysis(188);
    in.calibration = calibration();
    in.lab = {QStringLiteral("Лаборатория «Аквалаб»"), QStringLiteral("620000, г. Екатеринбург")};
    in.madeAt = QDateTime(QDate(2026, 12, 8), QTime(11, 0));
    return in;
}

// Everything as long as it can be: lab, description, many long notes, a run of an hour.
Input crowded() {
    Input in = typical();
    in.record = analysis(7200);
    const QString longWords =
        QStringLiteral("Сточная вода после очистных сооружений, выпуск № 3, ") +
        QStringLiteral("отобрана в 06:40 при температуре воздуха минус 12 °C, ").repeated(5);
    in.record.set(u"description", longWords);
    in.record.set(u"station_name", QString(120, u'Ш'));
    in.record.set(u"operator", QString(90, u'w'));
    in.lab.name = QStringLiteral("Федеральное государственное бюджетное учреждение ").repeated(3);
    in.lab.address =
        QStringLiteral("620000, г. Екатеринбург, ул. Малышева, д. 1, корпус 2, строение 3, "
                       "этаж 4, помещение 5, тел. +7 343 000-00-00\nвторая строка\nтретья\nчетвёртая");
    for (int k = 0; k < 12; ++k)
        in.annotations.push_back(
            note(in.record,
                 QStringLiteral("Замечание %1: ").arg(k + 1) +
                     QStringLiteral("повторное измерение показало расхождение с первым ").repeated(6),
                 false, k));
    return in;
}

// An analysis abandoned before its result, imported without lines or settings, no calibration known.
Input bare() {
    Input in;
    in.record.set(u"id", QStringLiteral("bare"));
    in.record.set(u"kind", QStringLiteral("analysis"));
    in.record.set(u"status", QStringLiteral("abandoned"));
    in.record.set(u"analysis_kind", QStringLiteral("Small"));
    return in;
}

Input calibrationPage() {
    Input in = typical();
    in.record = analysis(120);
    in.record.set(u"kind", QStringLiteral("calibration"));
    in.record.set(u"certified_value", 10.0);
    in.record.set(u"reference_dilution", 1.0);
    in.calibration.reset();
    return in;
}

class RecordReport : public ::testing::Test {
  protected:
    QString pdf(const std::vector<Input>& inputs) {
        const QString path = dir.filePath(QStringLiteral("r%1.pdf").arg(++files));
        QString reason;
        EXPECT_TRUE(writePdf(path, inputs, &reason)) << reason.toStdString();
        return path;
    }
    QTemporaryDir dir;
    int files = 0;
};

TEST_F(RecordReport, ReadsTheLabFromLorimetIniAndChangesNothingThere) {
    const struct {
        const char* ini; // nullptr: no lorimet.ini
        const char* name;
        const char* address;
    } cases[] = {
        {nullptr, "", ""},
        {"[station]\nname=vm\n", "", ""},
        {"[lab]\nname=Лаборатория «Аквалаб»\n", "Лаборатория «Аквалаб»", ""},
        // QSettings reads unquoted commas as a list; an address has them.
        {"[lab]\nname=ООО «Вода»\naddress=620000, г. Екатеринбург, ул. Малышева, д. 1\n", "ООО «Вода»",
         "620000, г. Екатеринбург, ул. Малышева, д. 1"},
        {"[lab]\naddress=\"улица, дом\\nвторая строка\"\n", "", "улица, дом\nвторая строка"},
    };
    int k = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini ? c.ini : "no file");
        const QString folder = dir.filePath(QString::number(++k));
        QDir().mkpath(folder);
        const QString ini = folder + QStringLiteral("/lorimet.ini");
        if (c.ini) {
            ASSERT_TRUE(exporttest::writeFile(ini, QByteArray(c.ini)));
        }
        const Lab lab = readLab(folder);
        EXPECT_EQ(lab.name, QString::fromUtf8(c.name));
        EXPECT_EQ(lab.address, QString::fromUtf8(c.address));
        EXPECT_EQ(QFileInfo::exists(ini), c.ini != nullptr);
        if (c.ini) {
            QFile f(ini);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll(), QByteArray(c.ini));
        }
    }
}

// Every word at least 15 mm from the paper's edges (10 mm is the least any print-out keeps) and clear
// of every other word, and the record's id and hash still at the foot of the page.
TEST_F(RecordReport, EveryTextStaysOnThePaperAndClearOfTheOthers) {
    const struct {
        const char* name;
        Input input;
    } cases[] = {
        {"typical", typical()},
        {"crowded", crowded()},
        {"bare", bare()},
        {"calibration", calibrationPage()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto pages = pdfWords(pdf({c.input}));
        ASSERT_EQ(pages.size(), 1u);
        const PdfPage& page = pages[0];
        EXPECT_GT(page.words.size(), 60u);
        EXPECT_NEAR(page.size.width(), 210 * kPointsPerMm, 1);
        EXPECT_NEAR(page.size.height(), 297 * kPointsPerMm, 1);
        const QRectF paper = QRectF(QPointF(0, 0), page.size)
                                 .adjusted(15 * kPointsPerMm - 0.5, 15 * kPointsPerMm - 0.5,
                                           -15 * kPointsPerMm + 0.5, -15 * kPointsPerMm + 0.5);
        QStringList all;
        for (size_t i = 0; i < page.words.size(); ++i) {
            const Word& w = page.words[i];
            all << w.text;
            EXPECT_TRUE(paper.contains(w.box)) << w.text.toStdString();
            for (size_t j = i + 1; j < page.words.size(); ++j) {
                const QRectF both = w.box.intersected(page.words[j].box);
                // Boxes of neighbouring words may touch; letters of one over another may not.
                EXPECT_LT(both.width() * both.height(), 0.5)
                    << w.text.toStdString() << " / " << page.words[j].text.toStdString();
            }
        }
        const QString text = all.join(u' ');
        EXPECT_TRUE(text.contains(c.input.record.text(u"id"))) << text.toStdString();
        if (!c.input.record.text(u"hash").isEmpty()) {
            EXPECT_TRUE(text.contains(c.input.record.text(u"hash")));
        }
    }
}

TEST_F(RecordReport, TooMuchTextIsCutAndTheNotesThatDoNotFitAreCounted) {
    const Input in = crowded();
    const QStringList pages = exporttest::pdfPages(pdf({in}));
    ASSERT_EQ(pages.size(), 1);
    const QString& text = pages[0];
    EXPECT_TRUE(text.contains(QStringLiteral("Сточная вода после очистных сооружений")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(in.record.text(u"description").trimmed()));
    EXPECT_GE(text.count(u'…'), 3); // the lab, the description, the notes
    EXPECT_TRUE(text.contains(QStringLiteral("Замечание 1:")));
    EXPECT_FALSE(text.contains(QStringLiteral("Замечание 12:")));
    EXPECT_TRUE(text.contains(QStringLiteral("… и ещё "))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("четвёртая"))); // three lines of address at most
}

TEST_F(RecordReport, TheCalibrationUsedOrThatNoneIsKnown) {
    Input without = typical();
    without.calibration.reset();
    const QStringList pages = exporttest::pdfPages(pdf({typical(), without}));
    ASSERT_EQ(pages.size(), 2);
    EXPECT_TRUE(pages[0].contains(QStringLiteral("06.12.2026"))) << pages[0].toStdString();
    EXPECT_TRUE(pages[0].contains(QStringLiteral("10 мг/л")));
    EXPECT_TRUE(pages[0].contains(QStringLiteral("2,05761")));
    EXPECT_FALSE(pages[0].contains(QStringLiteral("нет сведений")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("нет сведений")));
    EXPECT_FALSE(pages[1].contains(QStringLiteral("2,05761")));
    // The table's numbers: one decimal from 1 upwards, two below.
    EXPECT_TRUE(pages[0].contains(QStringLiteral("12,3 мг/л")));
    EXPECT_TRUE(pages[0].contains(QStringLiteral("0,46 мг/л")));
    EXPECT_TRUE(pages[0].contains(QStringLiteral("20,5 °C")));
}

TEST_F(RecordReport, AnInvalidatingNoteOfAnotherRecordLeavesThisOneValid) {
    Input in = typical();
    Record other = analysis(10);
    other.set(u"id", QStringLiteral("another"));
    in.annotations.push_back(note(other, QStringLiteral("не эта запись"), true, 1));
    EXPECT_FALSE(isInvalidated(in));
    in.annotations.push_back(note(in.record, QStringLiteral("замечание без отмены"), false, 2));
    EXPECT_FALSE(isInvalidated(in));
    in.annotations.push_back(note(in.record, QStringLiteral("отменено"), true, 3));
    EXPECT_TRUE(isInvalidated(in));
}

QImage rendered(const Input& in) {
    QImage image(620, 877, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paint(painter, QRectF(image.rect()), in);
    return image;
}

TEST_F(RecordReport, TheEndPointsAreMarkedWhereGivenAndNotOutsideTheRun) {
    const QImage plain = rendered(typical());
    const struct {
        const char* name;
        std::optional<int> initial, final;
        bool drawn;
    } cases[] = {
        {"both", 40, 150, true},
        {"initial only", 40, std::nullopt, true},
        {"first and last line", 0, 187, true},
        {"outside the run", -1, 188, false},
        {"far outside", std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Input in = typical();
        in.initialRateLine = c.initial;
        in.finalRateLine = c.final;
        EXPECT_EQ(rendered(in) != plain, c.drawn);
    }
    // Where a mark is drawn: at its line's time, the upper middle of the curve (the signal's fall begins).
    Input in = typical();
    in.initialRateLine = 94; // the middle of the run
    const QImage marked = rendered(in);
    int changed = 0, changedAwayFromMiddle = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (marked.pixel(x, y) != plain.pixel(x, y)) {
                ++changed;
                if (std::abs(x - plain.width() / 2) > plain.width() / 5)
                    ++changedAwayFromMiddle;
            }
    EXPECT_GT(changed, 50);
    EXPECT_EQ(changedAwayFromMiddle, 0);
}

TEST_F(RecordReport, AFileIsWrittenWholeOrLeftAsItWas) {
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    ASSERT_TRUE(exporttest::writeFile(path, "an earlier report"));
    QString reason;
    EXPECT_FALSE(writePdf(path, {}, &reason));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_FALSE(writePdf(dir.filePath(QStringLiteral("missing/report.pdf")), {typical()}, &reason));
    EXPECT_FALSE(reason.isEmpty());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("an earlier report"));
    f.close();

    ASSERT_TRUE(writePdf(path, {typical(), crowded(), bare()}, &reason)) << reason.toStdString();
    EXPECT_EQ(exporttest::pdfPages(path).size(), 3);
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("report.pdf.*")}, QDir::Files).isEmpty());
}

} // namespace
