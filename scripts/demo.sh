#!/usr/bin/env bash
# Installs what is missing, builds lorimet and runs a whole laboratory day headless, in virtual time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2
data="${LORIMET_DATA_DIR:-$(mktemp -d /tmp/lorimet-demo.XXXXXX)}"
build/bin/lorimet-replay examples/day.scenario --data-dir "$data"
echo "data folder: $data" >&2
