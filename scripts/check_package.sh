#!/usr/bin/env bash
# Builds the Debian package from a Release configure (tests and benchmarks off) and checks it: lintian
# without errors, the AppStream metadata and the desktop entry valid, every file the package must hold in
# it. With --install (root only, on a machine where lorimet is not installed) it also installs the
# package, runs the installed tools the way a technician would, and removes it again.
#
#   bash scripts/check_package.sh [--install] [BUILD_DIR]      (BUILD_DIR: build-pkg)
set -euo pipefail
cd "$(dirname "$0")/.."

install=0
build=build-pkg
for arg in "$@"; do
  case "$arg" in
    --install) install=1 ;;
    -*) echo "usage: bash scripts/check_package.sh [--install] [BUILD_DIR]" >&2; exit 2 ;;
    *) build="$arg" ;;
  esac
done

fail() { echo "check_package: $*" >&2; exit 1; }

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLORIMET_TESTS=OFF -DLORIMET_BENCH=OFF \
  "${launcher[@]}" >/dev/null
rm -f "$build"/lorimet_*.deb
cmake --build "$build" -j2 --target package >/dev/null
debs=("$build"/lorimet_*_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one lorimet_<version>_<arch>.deb in $build"
deb="${debs[0]}"
echo "check_package: $deb ($(du -k "$deb" | cut -f1) KiB)"

# Everything the package must hold, and no program beyond the five.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
required=(/usr/share/applications/lorimet.desktop /usr/share/metainfo/org.lorimet.lorimet.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/lorimet.svg /usr/share/doc/lorimet/copyright
  /usr/share/doc/lorimet/changelog.Debian.gz /usr/share/lorimet/examples/day.scenario)
programs=(lorimet lorimet-replay lorimet-report lorimet-sim lorimet-journal)
for p in "${programs[@]}"; do
  required+=("/usr/bin/$p" "/usr/share/man/man1/$p.1.gz")
done
for size in 16 32 48 64 128 256; do
  required+=("/usr/share/icons/hicolor/${size}x${size}/apps/lorimet.png")
done
for f in "${required[@]}"; do
  grep -qxF "$f" <<<"$contents" || fail "$f is not in the package"
done
extra=$(grep '^/usr/bin/.' <<<"$contents" | grep -vxF -f <(printf '/usr/bin/%s\n' "${programs[@]}") || true)
[ -z "$extra" ] || fail "programs that do not belong in the package: $extra"

# lintian: errors fail the check, warnings are shown.
lintian_out=$(lintian --fail-on none "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[ -z "$lintian_out" ] || echo "$lintian_out"
! grep -q '^E:' <<<"$lintian_out" || fail "lintian reports errors"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate --no-net "$unpacked/usr/share/metainfo/org.lorimet.lorimet.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate fails"
desktop-file-validate "$unpacked/usr/share/applications/lorimet.desktop" || fail "the desktop entry is not valid"
echo "check_package: contents, lintian, AppStream and the desktop entry are fine"

[ "$install" -eq 1 ] || exit 0
[ "$(id -u)" -eq 0 ] || fail "--install needs root"
if dpkg-query -W -f='${Status}' lorimet 2>/dev/null | grep -q 'install ok installed'; then
  fail "lorimet is installed on this machine already; --install leaves it alone"
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$(realpath "$deb")" >/dev/null
trap 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq lorimet >/dev/null; rm -rf "$unpacked"' EXIT
/usr/bin/lorimet-replay --help >/dev/null || fail "the installed lorimet-replay does not run"
# Slim images tell dpkg to leave the manual pages out.
if grep -qs 'path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/*; then
  echo "check_package: dpkg leaves manual pages out on this machine; man lorimet-journal not tried"
else
  man -P cat lorimet-journal 2>/dev/null | grep -q 'lorimet-journal' || fail "man lorimet-journal shows nothing"
fi
# The packaged example day, as a newcomer runs it: no scenario named, no data folder. It must run in a
# scratch folder of its own, never in the per-user folder (a lab's real data) nor in /usr/bin.
home="$unpacked/home"
mkdir -p "$home" "$unpacked/tmp"
transcript=$(HOME="$home" XDG_DATA_HOME="$home/data" TMPDIR="$unpacked/tmp" /usr/bin/lorimet-replay 2>"$unpacked/replay.err")
grep -q ' row ' <<<"$transcript" || fail "the example day gave no report row"
scratch=$(sed -n 's/^lorimet-replay: data folder //p' "$unpacked/replay.err")
[ -f "$scratch/Vornel_config.ini" ] || fail "the example day names no data folder of its own: $(cat "$unpacked/replay.err")"
case "$scratch" in "$unpacked/tmp/"*) ;; *) fail "the example day ran in $scratch" ;; esac
[ ! -e "$home/data/lorimet" ] || fail "the example day wrote into the per-user folder"
[ ! -e /usr/bin/Vornel_config.ini ] || fail "the example day wrote into /usr/bin"
echo "check_package: installed, ran the example day in a scratch folder of its own, removed"
