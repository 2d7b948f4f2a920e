#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test, then
# a short fuzzing run of every parser that reads outside input, then builds the Debian package from a
# Release configure and checks it (scripts/check_package.sh; LORIMET_PACKAGE_INSTALL=1 also installs it,
# runs the installed tools and removes it again, as CI does).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-test -DLORIMET_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-test -j2
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
ctest --test-dir build-test --output-on-failure -j2
bash scripts/fuzz.sh
install=()
[ "${LORIMET_PACKAGE_INSTALL:-0}" = 1 ] && install=(--install)
bash scripts/check_package.sh "${install[@]}" build-pkg
