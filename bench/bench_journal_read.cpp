// The journal's reading calls on a large journal (make_journal's): opening it, list with --search matching
// one record, a few and many (with and without a limit), list of everything, and show --lines of a long run.
// The store's calls alone, without the process around them or the printing.
//
//   LORIMET_BENCH_JOURNAL=sqlite:PATH | postgresql://…   the journal (required)
//   LORIMET_BENCH_RECORD=ID                              the run to show (default: the first of 3 600 lines)
//   LORIMET_BENCH_SEARCH_ONE, _FEW, _MANY                 the search texts (defaults: make_journal's)
#include "journal/JournalUrl.h"
#include "journal/Store.h"

#include <QCoreApplication>
#include <QDir>
#include <benchmark/benchmark.h>

using namespace lorimet::journal;

namespace {

QString setting(const char* name, const char* fallback) {
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? QString::fromUtf8(fallback) : v;
}

std::unique_ptr<Store> openJournal(QString& error) {
    const QString url = qEnvironmentVariable("LORIMET_BENCH_JOURNAL");
    if (url.isEmpty()) {
        error = QStringLiteral("LORIMET_BENCH_JOURNAL names no journal");
        return nullptr;
    }
    const auto parsed = parseJournalUrl(url, QDir::currentPath(), error);
    if (!parsed)
        return nullptr;
    return parsed->kind == JournalUrl::Kind::Postgresql ? Store::openServer(parsed->connection, false, error)
                                                        : Store::openExisting(parsed->path, error);
}

Store* journal(benchmark::State& state) {
    static QString error;
    static std::unique_ptr<Store> store = openJournal(error);
    if (!store)
        state.SkipWithError(error.toStdString().c_str());
    return store.get();
}

// Opening the journal as each lorimet-journal command does: the connection and the schema's checks.
void BM_Open(benchmark::State& state) {
    if (!journal(state))
        return;
    for (auto _ : state) {
        QString error;
        if (!openJournal(error))
            state.SkipWithError(error.toStdString().c_str());
    }
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->UseRealTime();

void list(benchmark::State& state, const char* variable, const char* fallback, int limit) {
    Store* store = journal(state);
    if (!store)
        return;
    ListFilter filter;
    filter.search = setting(variable, fallback);
    filter.limit = limit;
    size_t found = 0;
    for (auto _ : state) {
        QString error;
        found = store->list(filter, error).size();
        if (!error.isEmpty())
            state.SkipWithError(error.toStdString().c_str());
    }
    state.counters["records"] = static_cast<double>(found);
}

void BM_SearchOne(benchmark::State& state) {
    list(state, "LORIMET_BENCH_SEARCH_ONE", "ЛБ-050000", 0);
}
BENCHMARK(BM_SearchOne)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SearchFew(benchmark::State& state) {
    list(state, "LORIMET_BENCH_SEARCH_FEW", "скважина 17, проба 3 ", 0);
}
BENCHMARK(BM_SearchFew)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SearchManyLimit(benchmark::State& state) {
    list(state, "LORIMET_BENCH_SEARCH_MANY", "проба", static_cast<int>(state.range(0)));
}
BENCHMARK(BM_SearchManyLimit)->Arg(50)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SearchManyAll(benchmark::State& state) {
    list(state, "LORIMET_BENCH_SEARCH_MANY", "проба", 0);
}
BENCHMARK(BM_SearchManyAll)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListAll(benchmark::State& state) {
    Store* store = journal(state);
    if (!store)
        return;
    size_t found = 0;
    for (auto _ : state) {
        QString error;
        found = store->list({}, error).size();
        if (!error.isEmpty())
            state.SkipWithError(error.toStdString().c_str());
    }
    state.counters["records"] = static_cast<double>(found);
}
BENCHMARK(BM_ListAll)->Unit(benchmark::kMillisecond)->UseRealTime();

// The run of LORIMET_BENCH_RECORD, else the first analysis of 3 600 lines in the journal.
QString longRun(Store& store) {
    QString id = qEnvironmentVariable("LORIMET_BENCH_RECORD");
    if (!id.isEmpty())
        return id;
    ListFilter filter;
    filter.kind = QStringLiteral("analysis");
    filter.limit = 5000;
    QString error;
    for (const Record& r : store.list(filter, error))
        if (r.value(u"line_count").toLongLong() == 3600)
            return r.text(u"id");
    return {};
}

void BM_ShowLines(benchmark::State& state) {
    Store* store = journal(state);
    if (!store)
        return;
    const QString id = longRun(*store);
    size_t lines = 0;
    for (auto _ : state) {
        QString error;
        const auto r = store->find(id, true, error);
        if (!r) {
            state.SkipWithError(error.isEmpty() ? "no run of 3 600 lines" : error.toStdString().c_str());
            break;
        }
        lines = r->lines.size();
    }
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_ShowLines)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
