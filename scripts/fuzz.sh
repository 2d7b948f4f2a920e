#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UndefinedBehaviorSanitizer) in build-fuzz and
# runs each over its seed corpus, one target at a time.
#
#   bash scripts/fuzz.sh                  smoke run: a fixed number of inputs per target (about two minutes)
#   bash scripts/fuzz.sh --long SECONDS   each target for SECONDS; the grown corpus is kept in
#                                         build-fuzz/corpus/<target> and used again by the next long run
#   bash scripts/fuzz.sh --only TARGET    (with either mode) just that target
#
# The committed corpus (fuzz/corpus/<target>) is only read: new inputs go to a temporary folder (smoke) or
# to build-fuzz/corpus (long). Exits non-zero when any target crashes, leaks, hangs or fails a property;
# the reproducer is kept in build-fuzz/artifacts/ and its path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(fuzz_line fuzz_protocol_file fuzz_day_file fuzz_config fuzz_scenario)
# Smoke runs per target, sized to take 20-30 s each on a 2-core machine (the line target runs whole
# working days through the engine and is the slowest).
declare -A smoke_runs=([fuzz_line]=2000 [fuzz_protocol_file]=30000 [fuzz_day_file]=15000 [fuzz_config]=60000
  [fuzz_scenario]=10000)

long=0
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --long) long="${2:?--long needs SECONDS}"; shift 2 ;;
    --only) only="${2:?--only needs a target}"; shift 2 ;;
    *) echo "usage: bash scripts/fuzz.sh [--long SECONDS] [--only TARGET]" >&2; exit 2 ;;
  esac
done
if [ -n "$only" ]; then
  [[ " ${targets[*]} " == *" $only "* ]] || { echo "fuzz.sh: unknown target $only" >&2; exit 2; }
  targets=("$only")
fi

if ! command -v clang++ >/dev/null || ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  echo "fuzz.sh: needs clang and libFuzzer (Debian 12: apt-get install clang libclang-rt-14-dev)" >&2
  exit 1
fi

# -O1 as libFuzzer recommends: at -O0 a working day through the engine takes three times as long.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DLORIMET_FUZZ=ON -DLORIMET_SANITIZE=ON -DLORIMET_TESTS=OFF \
  -DLORIMET_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]}"

# The targets write their files below TMPDIR; on a memory file system a file costs microseconds, on a disk
# the atomic saves' syncs make every input take tens of milliseconds.
work_root=/dev/shm
[ -d "$work_root" ] && [ -w "$work_root" ] || work_root="${TMPDIR:-/tmp}"
work="$(mktemp -d "$work_root/lorimet-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
symbolizer="$(command -v llvm-symbolizer || ls /usr/lib/llvm-*/bin/llvm-symbolizer 2>/dev/null | head -n1 || true)"
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH="$symbolizer"

mkdir -p build-fuzz/artifacts
status=0
summary=()
for t in "${targets[@]}"; do
  if [ "$long" -gt 0 ]; then
    corpus="build-fuzz/corpus/$t"
    budget=(-max_total_time="$long")
  else
    corpus="$work/corpus-$t"
    budget=(-runs="${smoke_runs[$t]}")
  fi
  mkdir -p "$corpus"
  log="build-fuzz/$t.log"
  echo "== $t"
  start=$(date +%s)
  set +e
  "build-fuzz/bin/$t" "${budget[@]}" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
    -dict="fuzz/dict/$t.dict" -artifact_prefix="build-fuzz/artifacts/$t-" \
    "$corpus" "fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  set -e
  seconds=$(($(date +%s) - start))
  final="$(grep -E '^#[0-9]+' "$log" | tail -n1 || true)"
  if [ $rc -ne 0 ]; then
    status=1
    echo "FAILED ($rc) after ${seconds}s; log: $log"
    grep -E 'ERROR|SUMMARY|property failed|Test unit written' "$log" | head -n 20 || true
  else
    echo "ok in ${seconds}s: $final"
  fi
  execs="$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}' || true)"
  rate="$(grep -E '^stat::average_exec_per_sec' "$log" | awk '{print $2}' || true)"
  summary+=("$(printf '%-20s %4ss  runs %-9s exec/s %-6s %s' "$t" "$seconds" "${execs:-?}" "${rate:-?}" \
    "$(grep -oE 'cov: [0-9]+ ft: [0-9]+' <<<"$final" | tail -n1)")")
done
echo
printf '%s\n' "${summary[@]}"
exit $status
