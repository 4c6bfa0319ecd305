#!/usr/bin/env bash
# End-to-end checks of the OSD window under Wine, on the X display itself: a brightness key
# (post 786 257 0) shows the layered window 729x30 at x 595, three taskbar heights above the
# bottom of the 1920x1080 screen, and under a compositor its pixels fade back to the background.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

command -v xcompmgr >/dev/null || { fail "xcompmgr is not installed"; finish; }
# Alpha shows only where something composes the windows.
xcompmgr >"$W/xcompmgr.log" 2>&1 &
xcompmgr_pid=$!
trap 'kill "$xcompmgr_pid" 2>/dev/null || true' EXIT
sleep 0.2
kill -0 "$xcompmgr_pid" 2>/dev/null || fail "xcompmgr did not start: $(cat "$W/xcompmgr.log")"

start_daemon && pass "the daemon answers status" || fail "no status: $(cat "$LOG")"

osd_visible() { xdotool search --onlyvisible --name '^VESKOSD OSD$' 2>/dev/null | head -1 || true; }
[ -z "$(osd_visible)" ] && pass "no OSD on the screen before a key" ||
  fail "the OSD is mapped before any key"

# The screen where the bar will be, before it shows.
area=729x30+595+960
import -window root -crop "$area" +repage "$W/osd-background.png"

veskosd post 786 257 0 || fail "post 786 257 0 failed"
win=
for _ in $(seq 100); do
  win=$(osd_visible)
  [ -n "$win" ] && break
  sleep 0.05
done
if [ -z "$win" ]; then
  fail "the OSD window never showed on $DISPLAY"
else
  geometry=$(xwininfo -id "$win" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print x, y, w, h}')
  taskbar=$(status_field 's["osd"]["taskbar"]["bottom"] - s["osd"]["taskbar"]["top"]')
  want="595 $((1080 - 3 * ${taskbar:-0})) 729 30"
  [ "$geometry" = "$want" ] && pass "on X: the bar at $geometry (x y w h), taskbar $taskbar high" ||
    fail "on X: '$geometry', wanted '$want'"
fi

# Sampled until it has gone: the difference from the background peaks while shown, passes
# through partial values while the alpha steps down, and ends at none.
samples=()
for i in $(seq 80); do
  import -window root -crop "$area" +repage "$W/osd-sample.png"
  d=$(compare -metric MAE "$W/osd-background.png" "$W/osd-sample.png" null: 2>&1 |
    sed 's/ .*//') || true
  samples+=("${d%.*}")
  [ "$i" -gt 5 ] && [ "${d%.*}" = 0 ] && [ -z "$(osd_visible)" ] && break
  sleep 0.1
done
echo "  differences from the background: ${samples[*]}"
peak=0
for d in "${samples[@]}"; do [ "$d" -gt "$peak" ] && peak=$d; done
partial=0
for d in "${samples[@]}"; do
  [ "$d" -gt 0 ] && [ "$d" -lt $((peak * 3 / 4)) ] && partial=$((partial + 1))
done
last=${samples[-1]}
[ "$peak" -gt 0 ] && pass "the bar was on the screen (peak difference $peak)" ||
  fail "the bar never differed from the background"
[ "$partial" -ge 2 ] && pass "it faded through $partial partial steps" ||
  fail "no partial alpha seen (no fade): ${samples[*]}"
[ "$last" = 0 ] && [ -z "$(osd_visible)" ] && pass "it faded to nothing" ||
  fail "the bar did not fade to nothing (last difference $last)"
[ "$(status_field 's["osd"]["alpha"]')" = 0 ] && pass "status: alpha 0" || fail "alpha is not 0"

kill "$xcompmgr_pid" 2>/dev/null || true
finish
