#!/usr/bin/env bash
# End-to-end checks of the power notices under Wine: a power-setting message posted from outside
# names nothing and harms nothing; a session end that Wine's wineboot announces reaches the
# program through its notice window, which answers only once the brightness state is saved.
# Wine has no power-setting notices of its own, so monitor power and scheme changes are left to
# the unit tests.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

state=$WINEPREFIX/drive_c/veskosd-data/KL04BrightnessLevel.INI
rm -f "$state"
start_daemon && pass "the daemon runs" || fail "no status from the daemon: $(cat "$LOG")"
[ "$(status_field 's["bOSDModel"]')" = 1 ] || fail "not the OSD model, whose state is saved"
[ -e "$state" ] && fail "a brightness state file before any session end"

# WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, with numbers that point at no setting record.
for lparam in 1 4096 -8; do
  veskosd post 536 32787 "$lparam" || fail "post 536 32787 $lparam"
done
wait_for 's["hMainWnd"]' VESKOSD && [ ! -e "$state" ] &&
  pass "power settings posted from outside change nothing" ||
  fail "a posted power setting had an effect"

saved=$(status_field '" ".join(str(s[k]) for k in ("BRIGHTNESSCount", "BRIGHTNESSSave", "iValue"))')
# Wine's end of the session: the session-end query, then the end, to every top-level window.
if timeout 60 wine wineboot --end-session </dev/null >"$W/end-session.log" 2>&1; then
  pass "the session end was not refused"
else
  fail "wineboot --end-session: status $?: $(cat "$W/end-session.log")"
fi
if [ -e "$state" ]; then
  got=$(od -A n -t d4 "$state" | xargs)
  [ "$(stat -c %s "$state")" = 12 ] && [ "$got" = "$saved" ] &&
    pass "the brightness state saved before the session ended: $got" ||
    fail "state file: $(stat -c %s "$state") bytes, '$got' (wanted '$saved')"
else
  fail "no brightness state file after the session end"
fi
# As Windows does, Wine ends a program once it has heard the end of the session.
for _ in $(seq 60); do kill -0 "$daemon_pid" 2>/dev/null || break; sleep 0.5; done
if kill -0 "$daemon_pid" 2>/dev/null; then
  fail "the program still runs after the session ended"
else
  wait "$daemon_pid" && pass "the program ended with the session" ||
    fail "the program ended with status $?"
fi

finish
