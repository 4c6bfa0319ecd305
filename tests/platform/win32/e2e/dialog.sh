#!/usr/bin/env bash
# End-to-end checks of veskosd.exe under Wine: the window and its instance mutex, a post from
# outside reaching the window procedure, status over the user's pipe, and the firmware
# driver's message box that must not hold up the GUI thread.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

# Nothing runs yet: neither a post nor a status request has anyone to reach.
if veskosd post 1281 512 32 2>"$W/post.err"; then fail "post with no instance succeeded"; fi
grep -q 'no window titled VESKOSD' "$W/post.err" && pass "post without an instance fails" ||
  fail "post without an instance: $(cat "$W/post.err")"
if veskosd status >/dev/null 2>&1; then fail "status with no instance succeeded"; fi

start_daemon && pass "the window VESKOSD answers status" ||
  fail "no status from the instance: $(cat "$LOG")"

# The instance mutex: a second start ends at once, and the first one goes on.
t0=$(date +%s%N)
if timeout 20 wine "$EXE" --data-dir "$DATA" </dev/null >"$W/second.log" 2>&1; then
  took=$(( ($(date +%s%N) - t0) / 1000000 ))
  grep -q 'another instance runs' "$W/second.log" && [ "$took" -lt 5000 ] &&
    pass "a second instance ends at once ($took ms)" ||
    fail "second instance: ${took} ms: $(cat "$W/second.log")"
else
  fail "the second instance did not end with status 0: $(cat "$W/second.log")"
fi
kill -0 "$daemon_pid" 2>/dev/null && pass "the first instance still runs" ||
  fail "the first instance ended"

# The OSD model without a driver: one box, shown on a thread of its own; status (served by the
# GUI thread) answered while the box waits for its OK.
[ "$(status_field 's["bOSDModel"]')" = 1 ] && pass "bOSDModel 1" || fail "bOSDModel is not 1"
boxes=$(status_field '"|".join(b["text"] for b in s["messageBoxes"])')
[ "$boxes" = "Can't Open ACPI kernel Mode Driver" ] && pass "one message box: $boxes" ||
  fail "message boxes: '$boxes'"
xdotool search --sync --onlyvisible --name '^veskosd\.exe$' >/dev/null 2>&1 &&
  pass "the box is on the screen" || fail "no box titled veskosd.exe on $DISPLAY"

# A message posted by FindWindowW and PostMessageW reaches the program's procedure: volume done
# shows the OSD at full alpha.
[ "$(status_field 's["bOSDShowVolume"], s["osd"]["alpha"]')" = "0 0" ] ||
  fail "the OSD showed before any post"
veskosd post 1281 512 32 && wait_for 's["bOSDShowVolume"], s["osd"]["alpha"]' "1 192" &&
  pass "post 1281 512 32 dispatched" || fail "post 1281 512 32 was not dispatched"
rect=$(status_field 's["osd"]["rect"]["left"], s["osd"]["rect"]["right"]-s["osd"]["rect"]["left"], s["osd"]["rect"]["bottom"]-s["osd"]["rect"]["top"], s["osd"]["rect"]["top"]')
[ "$rect" = "595 729 30 960" ] && pass "the bar at x 595, 729x30, three taskbar heights up" ||
  fail "OSD rect: '$rect'"
if veskosd post 1281 512 thirty-two 2>/dev/null; then fail "a post with a bad number succeeded"; fi

finish
