#!/usr/bin/env bash
# The lab server stopped during a day of analyses and started again, the window linked to the simulated
# analyser at 20 lines a second meanwhile: the longest gap of the window's 20 ms timer, and every record on
# the server once at the end.
#
# bench/journal_outage.sh [BUILD_DIR]   (a Release build with measure_session and lorimet-journal)
# Runs as root (the cluster then runs as the postgres user) or as any user PostgreSQL accepts.
set -euo pipefail
build="${1:-build-rel}"
bin=/usr/lib/postgresql/15/bin
work=$(mktemp -d /tmp/lorimet-outage.XXXXXX)
chmod 755 "$work"
as_pg=()
if [ "$(id -u)" = 0 ]; then
  chown postgres "$work"
  as_pg=(runuser -u postgres --)
fi
"${as_pg[@]}" "$bin/initdb" -D "$work/db" -A trust -U postgres >/dev/null
pg() { "${as_pg[@]}" "$bin/pg_ctl" -D "$work/db" -w -l "$work/log" "$@" >/dev/null; }
pg -o "-c listen_addresses='' -c unix_socket_directories='$work'" start
trap 'pg -m immediate stop 2>/dev/null || true; rm -rf "$work"' EXIT
"${as_pg[@]}" "$bin/createdb" -h "$work" -U postgres lorimet
url="postgresql://postgres@/lorimet?host=$work"
"$build/bin/lorimet-journal" --journal "$url" init >/dev/null

# 90 s linked, an analysis of 3 600 lines ending every 3 s; the server away from 20 s to 50 s.
"$build/bin/measure_session" --period 0.05 --seconds 90 --report-every 10 --journal "$url" \
  --runs-per-minute 20 >"$work/session" 2>&1 &
session=$!
sleep 25; pg -m fast stop; echo "server stopped"
sleep 30; pg -o "-c listen_addresses='' -c unix_socket_directories='$work'" start; echo "server started"
wait $session
cat "$work/session"
echo "records on the server: $("$build/bin/lorimet-journal" --journal "$url" status | grep '^records:')"
"$build/bin/lorimet-journal" --journal "$url" verify
