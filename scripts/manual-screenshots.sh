#!/usr/bin/env bash
# The pictures of the user's manual, docs/manual/img: the end-to-end test's (the main window through a day,
# the dialogs and message boxes it meets), the journal window tests', the client's report and the
# demonstration mode, all under a virtual X display of their own. Usage: scripts/manual-screenshots.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
out="$PWD/docs/manual/img"
cmake --build "$build" -j2 --target lorimet lorimet-sim e2e_tests journal_window_tests settings_tests
mkdir -p "$out"

# A display number of our own, and a temporary folder of our own: the program admits one instance per
# temporary folder, so a lorimet already running on this machine does not stop the demonstration's.
display=":$(( 60 + RANDOM % 30 ))"
scratch="$(mktemp -d /tmp/lorimet-manual.XXXXXX)"
xvfb_pid=""
demo_pid=""
cleanup() {
    [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x1024x24 -wr -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    DISPLAY="$display" xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done

echo "The end-to-end day..." >&2
DISPLAY="$display" QT_QPA_PLATFORM=xcb LORIMET_SCREENSHOTS_DIR="$out" "$build/bin/e2e_tests"

# The port dialog as a lab sees it with two USB adapters plugged in (this machine may have none): the
# settings test lists such ports, and its picture replaces the end-to-end day's.
echo "The port dialog..." >&2
QT_QPA_PLATFORM=offscreen LORIMET_SCREENSHOTS_DIR="$out" "$build/bin/settings_tests" \
    --gtest_filter='PortAndFilterTest.TwoLikeAdaptersAreToldApartAndTheSettingStaysThePortName'
rm -f "$out/port-list.png" # the open list: the manual shows the dialog only

echo "The journal's window..." >&2
QT_QPA_PLATFORM=offscreen LORIMET_SCREENSHOTS_DIR="$out" "$build/bin/journal_window_tests" \
    --gtest_filter='JournalWindowTest.ARecordShowsItsValuesItsCurveAndItsCalibration:CalibrationHistory.TheWindowFlagsAnOutOfLimitCalibrationWithItsRule'
# The client's report is a page of a PDF; the documentation keeps its picture.
cp docs/screenshots/journal-report.png "$out/"

echo "The demonstration mode..." >&2
mkdir -p "$scratch/data" "$scratch/tmp"
DISPLAY="$display" TMPDIR="$scratch/tmp" QT_QPA_PLATFORM=xcb "$build/bin/lorimet" --demo --data-dir "$scratch/data" \
    >/dev/null 2>&1 &
demo_pid=$!
main_window=""
for _ in $(seq 100); do
    main_window="$(DISPLAY="$display" xdotool search --name 'ВОРНЕЛ: ЛОРИМЕТ' 2>/dev/null | head -1 || true)"
    [ -n "$main_window" ] && DISPLAY="$display" xdotool search --name 'Анализатор \(демонстрация\)' >/dev/null 2>&1 && break
    sleep 0.1
done
[ -n "$main_window" ] || { echo "the demonstration's window did not come up" >&2; exit 1; }
# Every panel shown (the front panel, the results bar, the toolbar, the protocol bar), connected, with a
# few seconds of the simulated analyser's lines on the chart.
DISPLAY="$display" xdotool windowfocus --sync "$main_window"
for key in ctrl+v ctrl+x ctrl+s ctrl+h ctrl+g; do
    DISPLAY="$display" xdotool key --window "$main_window" "$key"
    sleep 0.3
done
# The window has grown with its panels: both go to the left edge, the analyser's beside the main one.
DISPLAY="$display" xdotool windowmove --sync "$main_window" 0 0
eval "$(DISPLAY="$display" xdotool getwindowgeometry --shell "$main_window")"
demo_window="$(DISPLAY="$display" xdotool search --name 'Анализатор \(демонстрация\)' | head -1)"
DISPLAY="$display" xdotool windowmove "$demo_window" $((X + WIDTH + 8)) "$Y"
sleep 8
DISPLAY="$display" import -window root "$scratch/screen.png"
convert "$scratch/screen.png" -trim +repage "$out/demo.png"
DISPLAY="$display" xdotool windowfocus --sync "$main_window" key ctrl+z 2>/dev/null || true
for _ in $(seq 50); do
    kill -0 "$demo_pid" 2>/dev/null || break
    sleep 0.1
done
demo_pid=""

# Pictures too large for a page are scaled down.
for png in "$out"/*.png; do
    if [ "$(stat -c %s "$png")" -gt 300000 ]; then
        convert "$png" -resize 75% "$png"
    fi
done
ls -l "$out" >&2
