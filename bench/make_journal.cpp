// make_journal: a large journal for measuring the journal's queries. A lab's year on several stations:
// upper points, GSO calibrations and sample analyses with the descriptions operators write, most runs of a
// few minutes and some of half an hour (3 600 lines). Written through the store itself, a batch of records
// to a transaction, so the records are numbered, chained and hashed as the program does it.
//
//   make_journal --journal URL [--journal URL…] [--records N] [--stations N] [--long-every N]
//                [--long-lines N] [--short-lines N] [--batch N] [--seed N]
//
// URL is sqlite:PATH (or a plain path) or a postgresql:// URL whose schema lorimet-journal init made. The
// first SQLite journal numbers the records; a server gets the same records shipped to it batch by batch,
// as a station's outbox would ship them (with only a server named, a scratch SQLite file numbers them).
// Every target thus holds the same records under the same ids. It prints the ids of a few long runs and
// search texts that match one record, a few and many.
#include "journal/JournalUrl.h"
#include "journal/Recorder.h"
#include "journal/Store.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUuid>

#include <cmath>
#include <cstdio>
#include <random>

using namespace lorimet;
using namespace lorimet::journal;

namespace {

struct Options {
    QStringList urls;
    int records = 100'000;
    int stations = 4;
    int longEvery = 100; // one analysis in this many runs half an hour
    int longLines = 3600;
    int shortLines = 120; // the other analyses: a sixth of this up to this
    int batch = 500;
    unsigned seed = 1;
};

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

// What operators write into the sample's description, each with the lab's sample code after it.
const char* const kDescriptions[] = {
    "Сток цеха №%1, проба %2",
    "р. Ока, створ %1, поверхностный слой",
    "Очистные сооружения, вход, смена %1",
    "Очистные сооружения, выход, смена %1",
    "Скважина %1, проба %2",
    "Водопровод, кран %1",
    "Озеро Светлое, глубина %1 м",
    "Контрольная проба %1",
};

struct StationState {
    RecorderOptions options;
    double rate = 0.0123; // the coefficients of its latest calibration
    double range = 0.0456;
};

std::vector<RunLine> runLines(std::mt19937_64& rng, int count, double level) {
    std::uniform_real_distribution<double> noise(-0.02, 0.02);
    std::vector<RunLine> lines;
    lines.reserve(static_cast<size_t>(count));
    double smoothed = level;
    for (int k = 0; k < count; ++k) {
        const double raw = level - 6.0 * (1.0 - std::exp(-k / 900.0)) + noise(rng);
        const double derivative = raw - smoothed;
        smoothed += 0.3 * derivative;
        const double temperature = 20.3 + 0.1 * std::sin(k / 200.0);
        const QString text = QStringLiteral("%1 %нас %2                       изм.")
                                 .arg(raw, 6, 'f', 2)
                                 .arg(temperature, 4, 'f', 1);
        lines.push_back({k * 500LL, text, std::round(raw * 100) / 100, smoothed, derivative,
                         std::round(temperature * 10) / 10});
    }
    return lines;
}

double tableValue(double v) {
    return v >= 1 ? std::round(v * 10) / 10 : std::round(v * 100) / 100;
}

// The k-th run of the year: its kind by a roll of the dice, its time spread evenly over the year.
FinishedRun makeRun(const Options& o, int k, StationState& station, std::mt19937_64& rng, bool& isLong,
                    QString& code) {
    std::uniform_int_distribution<int> percent(0, 99);
    FinishedRun run;
    const QDateTime yearStart(QDate(2026, 1, 1), QTime(8, 0));
    const qint64 spacing = 365LL * 86'400'000 / std::max(1, o.records);
    run.finishedAt =
        yearStart.addMSecs(k * spacing + std::uniform_int_distribution<qint64>(0, spacing / 2)(rng));
    run.filter = {0.3, 3, 5};
    run.frequency = 2;
    run.delay = 10;
    const int roll = percent(rng);
    isLong = false;
    // A station's first runs are its upper point and calibration; later ones come in the usual proportions.
    if (k < o.stations * 2 ? k < o.stations : roll < 8) {
        run.kind = RunKind::UpperPoint;
        run.startedAt = run.finishedAt;
        run.lines = runLines(rng, 1, 95);
        run.rateCoefficient = 0;
        run.rangeCoefficient = 0;
        return run;
    }
    if (k < o.stations * 2 || roll < 13) {
        run.kind = RunKind::Calibration;
        run.analysisKind = QStringLiteral("Full");
        run.dilution = 1;
        run.certifiedValue = 150.0 / (1 + percent(rng) % 3);
        run.referenceDilution = percent(rng) < 50 ? 0 : 2;
        run.lines = runLines(rng, 300, 94);
        station.rate = 0.01 + percent(rng) * 1e-4 + k * 1e-9;
        station.range = 0.04 + percent(rng) * 1e-4 + k * 1e-9;
        run.bodInitial = tableValue(*run.certifiedValue * 0.98);
        run.bodFinal = tableValue(*run.certifiedValue * 1.01);
    } else {
        run.kind = RunKind::Analysis;
        const int pick = percent(rng);
        run.status = pick < 95 ? RunStatus::Completed : pick < 98 ? RunStatus::Stopped : RunStatus::Abandoned;
        run.analysisKind = percent(rng) < 60 ? QStringLiteral("Full") : QStringLiteral("Small");
        static const double kDilutions[] = {1, 2, 5, 10};
        run.dilution = kDilutions[percent(rng) % 4];
        code = QStringLiteral("ЛБ-%1").arg(k, 6, 10, QLatin1Char('0'));
        const int t = percent(rng) % static_cast<int>(std::size(kDescriptions));
        run.description = QString::fromUtf8(kDescriptions[t])
                              .replace(QStringLiteral("%1"), QString::number(1 + percent(rng) % 50))
                              .replace(QStringLiteral("%2"), QString::number(1 + percent(rng) % 12)) +
                          QStringLiteral(" (шифр ") + code + u')';
        isLong = o.longEvery > 0 && std::uniform_int_distribution<int>(1, o.longEvery)(rng) == 1;
        std::uniform_int_distribution<int> shortCount(std::max(2, o.shortLines / 6),
                                                      std::max(2, o.shortLines));
        run.lines = runLines(rng, isLong ? o.longLines : shortCount(rng), 93);
        if (run.status != RunStatus::Abandoned) {
            const double bod = 0.5 + percent(rng) * 1.7;
            run.bodInitial = tableValue(bod);
            if (run.analysisKind == u"Full")
                run.bodFinal = tableValue(bod * 1.05);
        }
    }
    const RunLine& last = run.lines.back();
    run.startedAt = run.finishedAt.addMSecs(-last.elapsedMs);
    run.meanTemperature = 20.3;
    run.signalRange = run.lines.front().raw - last.raw;
    run.maxDerivative = 0.0123;
    run.rateCoefficient = station.rate;
    run.rangeCoefficient = station.range;
    return run;
}

int usage(const char* message) {
    std::fprintf(stderr,
                 "make_journal: %s\nusage: make_journal --journal URL [--journal URL…] [--records N] "
                 "[--stations N] [--long-every N] [--long-lines N] [--short-lines N] [--batch N] "
                 "[--seed N]\n",
                 message);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options o;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (i + 1 >= args.size())
            return usage("every option takes a value");
        const QString v = args[++i];
        bool ok = true;
        if (a == u"--journal")
            o.urls << v;
        else if (a == u"--records")
            o.records = v.toInt(&ok);
        else if (a == u"--stations")
            o.stations = v.toInt(&ok);
        else if (a == u"--long-every")
            o.longEvery = v.toInt(&ok);
        else if (a == u"--long-lines")
            o.longLines = v.toInt(&ok);
        else if (a == u"--short-lines")
            o.shortLines = v.toInt(&ok);
        else if (a == u"--batch")
            o.batch = v.toInt(&ok);
        else if (a == u"--seed")
            o.seed = v.toUInt(&ok);
        else
            return usage("unknown option");
        if (!ok)
            return usage("a number is wanted");
    }
    if (o.urls.isEmpty() || o.records < 1 || o.stations < 1 || o.batch < 1 || o.longLines < 1)
        return usage("a journal and positive numbers are wanted");

    QString error;
    std::unique_ptr<Store> numbering;
    std::vector<std::unique_ptr<Store>> servers;
    for (const QString& url : o.urls) {
        const auto parsed = parseJournalUrl(url.contains(u':') ? url : QStringLiteral("sqlite:") + url,
                                            QDir::currentPath(), error);
        if (!parsed)
            return usage(qPrintable(error));
        if (parsed->kind == JournalUrl::Kind::Postgresql) {
            auto server = Store::openServer(parsed->connection, false, error);
            if (!server) {
                std::fprintf(stderr, "make_journal: %s\n", qPrintable(error));
                return 1;
            }
            servers.push_back(std::move(server));
        } else if (!numbering) {
            numbering = Store::openSqlite(parsed->path, error);
            if (!numbering) {
                std::fprintf(stderr, "make_journal: %s\n", qPrintable(error));
                return 1;
            }
        } else {
            return usage("one SQLite journal at a time");
        }
    }
    QTemporaryDir scratch;
    if (!numbering) {
        numbering = Store::openSqlite(scratch.filePath(QStringLiteral("numbering.db")), error);
        if (!numbering) {
            std::fprintf(stderr, "make_journal: %s\n", qPrintable(error));
            return 1;
        }
    }

    std::mt19937_64 rng(o.seed);
    std::vector<StationState> stations(static_cast<size_t>(o.stations));
    for (int s = 0; s < o.stations; ++s) {
        RecorderOptions& r = stations[static_cast<size_t>(s)].options;
        r.station = {
            QUuid::createUuid().toString(QUuid::WithoutBraces), QStringLiteral("Станция %1").arg(s + 1), {}};
        r.operatorName = QStringLiteral("laborant%1").arg(s + 1);
        r.appVersion = QStringLiteral(LORIMET_JOURNAL_APP_VERSION);
    }
    QElapsedTimer clock;
    clock.start();
    qint64 lines = 0, shipMs = 0;
    QStringList longIds;
    QString middleCode;
    std::vector<Record> batch;
    for (int k = 0; k < o.records;) {
        batch.clear();
        for (; k < o.records && batch.size() < static_cast<size_t>(o.batch); ++k) {
            // The first runs go to each station in turn, so that every one begins with its upper point and
            // calibration; later ones to any.
            const size_t s = k < o.stations * 2
                                 ? static_cast<size_t>(k % o.stations)
                                 : std::uniform_int_distribution<size_t>(0, stations.size() - 1)(rng);
            bool isLong = false;
            QString code;
            const FinishedRun run = makeRun(o, k, stations[s], rng, isLong, code);
            if (middleCode.isEmpty() && k >= o.records / 2)
                middleCode = code;
            batch.push_back(recordOf(run, stations[s].options));
            lines += static_cast<qint64>(run.lines.size());
            if (isLong && longIds.size() < 5)
                longIds << batch.back().text(u"id");
        }
        std::vector<Record*> pointers;
        for (Record& r : batch)
            pointers.push_back(&r);
        if (numbering->appendAll(pointers, error) != AppendResult::Added) {
            std::fprintf(stderr, "make_journal: %s\n", qPrintable(error));
            return 1;
        }
        QElapsedTimer shipping;
        shipping.start();
        for (auto& server : servers)
            if (server->ship(batch, error) == AppendResult::Failed) {
                std::fprintf(stderr, "make_journal: %s\n", qPrintable(error));
                return 1;
            }
        shipMs += shipping.elapsed();
        std::fprintf(stderr, "\r%d records", k);
    }
    std::fprintf(stderr, "\n");
    out() << "records: " << o.records << ", lines: " << lines << ", " << clock.elapsed() << " ms (" << shipMs
          << " ms of it shipping to servers)\n";
    for (const QString& id : longIds)
        out() << "long run: " << id << '\n';
    out() << "search, one record: " << middleCode << '\n'
          << "search, a few: скважина 17, проба 3 \n"
          << "search, many: проба\n";
    return 0;
}
