#!/bin/sh
# lorimet-journal's reading commands on a large journal (make_journal's), each run whole, process start to
# exit, N times (time_command.py), then the store's calls alone (bench_journal_read):
#
#   bench/journal_commands.sh BIN URL RECORD [N [N_LONG]]
#
# BIN is the build's bin folder, URL the journal (sqlite:PATH or postgresql://…), RECORD the id of a run of
# 3 600 lines (make_journal prints some); N runs of each command (21), N_LONG of those that list tens of
# thousands of records (5). The search texts are make_journal's: one record, a few, many.
set -eu
bin=$1 url=$2 record=$3 n=${4:-21} n_long=${5:-5}
here=$(dirname "$0")
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
journal="$bin/lorimet-journal --data-dir $data --journal $url"
one=${LORIMET_BENCH_SEARCH_ONE:-ЛБ-050000}
few=${LORIMET_BENCH_SEARCH_FEW:-"скважина 17, проба 3 "}
many=${LORIMET_BENCH_SEARCH_MANY:-проба}
t() { runs=$1 label=$2; shift 2; python3 "$here/time_command.py" -n "$runs" --label "$label" -- "$@"; }

t $n "process start (--help)" "$bin/lorimet-journal" --help
t $n "status" $journal status
t $n "list --search one" $journal list --search "$one"
t $n "list --search few" $journal list --search "$few"
t $n "list --search many --limit 50" $journal list --search "$many" --limit 50
t $n_long "list --search many" $journal list --search "$many"
t $n_long "list (everything)" $journal list
t $n "show --lines (3 600 lines)" $journal show "$record" --lines
t $n "show --lines --format json" $journal show "$record" --lines --format json

LORIMET_BENCH_JOURNAL=$url LORIMET_BENCH_RECORD=$record LORIMET_BENCH_SEARCH_ONE=$one \
    LORIMET_BENCH_SEARCH_FEW=$few LORIMET_BENCH_SEARCH_MANY=$many \
    "$bin/bench_journal_read" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_min_time=0.2
