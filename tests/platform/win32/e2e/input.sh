#!/usr/bin/env bash
# End-to-end checks of the keys: the volume keys typed on the X display reach the daemon's hot
# keys and its window procedure. Wine hands X keys to hot keys only while one of its windows
# has the X focus, so a second Wine program's window is focused first.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/../audio/pulse.sh"
trap stop_pulse EXIT
start_pulse || { fail "no sound server for Wine"; finish; }

# Polls the daemon's log for a line, for up to 30 s.
wait_for_log() {
  for _ in $(seq 60); do
    grep -q "$1" "$LOG" && return 0
    sleep 0.5
  done
  return 1
}

# Verbose: the window procedure logs each message it is given. The mixer's generation, whose
# level Wine keeps, so the keys' effect shows in the status too.
start_daemon --verbose --os-version 5 && pass "the daemon answers status" || fail "no status: $(cat "$LOG")"
grep -q 'veskosd: hot key' "$LOG" && fail "a hot key was refused: $(grep 'hot key' "$LOG")" ||
  pass "no hot key was refused"
grep -q 'veskosd: raw input' "$LOG" &&
  fail "a raw-input collection was refused: $(grep 'raw input' "$LOG")" ||
  pass "no raw-input collection was refused"

wine notepad </dev/null >"$W/notepad.log" 2>&1 &
focused=$(timeout 30 xdotool search --sync --onlyvisible --name 'Notepad' 2>/dev/null | head -n1) ||
  true
if [ -z "$focused" ]; then
  fail "no Notepad window on $DISPLAY to focus"
else
  xdotool windowactivate --sync "$focused" >/dev/null 2>&1 ||
    xdotool windowfocus --sync "$focused" >/dev/null 2>&1 || true
  [ "$(xdotool getwindowfocus)" = "$focused" ] && pass "a Wine window has the X focus" ||
    fail "the Notepad window did not take the focus"
fi

# Each key reaches the window procedure as WM_HOTKEY with its id, and the virtual key in the
# high word of lParam.
for key in XF86AudioRaiseVolume:261:0xAF XF86AudioMute:260:0xAD XF86AudioLowerVolume:259:0xAE; do
  IFS=: read -r name id vk <<<"$key"
  lparam=$(( vk << 16 ))
  xdotool key "$name"
  wait_for_log "WM_HOTKEY wParam $id lParam $lparam," && pass "$name reaches the hot key $id" ||
    fail "$name: no WM_HOTKEY $id in the daemon's log"
done
# The last key, volume down, took the level from 100 to 99.
wait_for 's["VolumeCount"]' 99 && pass "the keys moved the volume" ||
  fail "VolumeCount did not follow the keys"
# One press, one hot key.
n=$(grep -c "WM_HOTKEY wParam 261 " "$LOG" || true)
[ "$n" = 1 ] && pass "one WM_HOTKEY per press" || fail "$n WM_HOTKEY 261 for one press"

finish
