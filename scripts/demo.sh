#!/usr/bin/env bash
# Installs what is missing, builds lorimet and runs it on its built-in simulated analyser. Without a display it
# says so and runs a whole laboratory day headless, in virtual time, instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLORIMET_SANITIZE=OFF >/dev/null
cmake --build build -j2
data="${LORIMET_DATA_DIR:-$(mktemp -d /tmp/lorimet-demo.XXXXXX)}"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/lorimet --demo --data-dir "$data"
fi
echo "No display: running the example day headless (examples/day.scenario)." >&2
build/bin/lorimet-replay examples/day.scenario --data-dir "$data"
echo "data folder: $data" >&2
