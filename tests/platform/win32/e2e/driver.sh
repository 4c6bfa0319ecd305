#!/usr/bin/env bash
# End-to-end checks of veskosd.exe with a firmware driver that Wine really loads: the test driver
# (../driver) installed as a kernel service of the prefix. The model number it reports decides
# the model, a brightness step reaches it as a firmware method, and a notify code it raises
# through "MORV EVENT" reaches the window procedure. The driver is removed at the end, so that
# the other scripts find none.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

install_driver || finish

# Ends the daemon alone: the driver, in winedevice.exe, stays loaded.
end_daemon() {
  kill "$daemon_pid" 2>/dev/null || true
  wait "$daemon_pid" 2>/dev/null || true
  daemon_pid=
}

# How many methods the driver was asked for, and those asked for since such a count, on one
# line.
methods_count() { ctl methods | wc -l || true; }
methods_since() { ctl methods | tr -d '\r' | tail -n "+$(($1 + 1))" | tr '\n' ' ' || true; }

# The program's own box for a missing driver, which no other device's box may be taken for.
no_driver_box() {
  local boxes
  boxes=$(status_field '"|".join(b["text"] for b in s["messageBoxes"])')
  case "|$boxes|" in
    *"|Can't Open ACPI kernel Mode Driver|"*) fail "$1: the missing driver's box: '$boxes'" ;;
    *) pass "$1: no \"Can't Open ACPI kernel Mode Driver\" box" ;;
  esac
}

# The display-controller model: the driver answers "MBID" with 2.
ctl model 2 || fail "the driver took no model"
start_daemon --verbose || fail "no status from the instance: $(cat "$LOG")"
wait_for 's["dwModelID"], s["bOSDModel"], s["hACPIDevice"] != "INVALID_HANDLE_VALUE"' "2 0 True" &&
  pass "model 2 from the driver: bOSDModel 0" || fail "model 2 from the driver"
# This model's serial port and device notices may have boxes of their own.
no_driver_box "model 2"
end_daemon

# The OSD model, model 1: the driver is asked for the model and the level list at start-up.
ctl model 1 || fail "the driver took no model"
before=$(methods_count)
start_daemon --verbose || fail "no status from the instance: $(cat "$LOG")"
wait_for 's["dwModelID"], s["bOSDModel"]' "1 1" && pass "model 1 from the driver: bOSDModel 1" ||
  fail "model 1 from the driver"
no_driver_box "model 1"
wait_for 's["dwBCLLevelCount"], s["BrightnessBCLLevel"]' \
  "11 [0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100]" && pass "eleven levels from \"QZLV\"" ||
  fail "levels from \"QZLV\""
started=$(methods_since "$before")
case "$started" in
  "MBID QZLV "*) pass "start-up asked for: $started" ;;
  *) fail "start-up methods: '$started'" ;;
esac

# Brightness steps up from 0: the tenth reaches the next level, which is one "INBR".
[ "$(status_field 's["BRIGHTNESSCount"], s["BRIGHTNESSSave"]')" = "0 0" ] ||
  fail "brightness before the steps: $(status_field 's["BRIGHTNESSCount"], s["BRIGHTNESSSave"]')"
before=$(methods_count)
for _ in $(seq 10); do veskosd post 1281 512 18; done
wait_for 's["BRIGHTNESSCount"], s["BRIGHTNESSSave"], s["iValue"]' "10 10 10" &&
  [ "$(methods_since "$before")" = "INBR " ] && pass "ten steps up sent \"INBR\" to the driver" ||
  fail "after ten steps up the driver was asked for '$(methods_since "$before")'"

# Notify codes through "MORV EVENT": two raised with one signal both arrive, the blocked-HID
# code as its device event and the mute press as its button's hot key.
logged() { grep -c -F "$1" "$LOG" || true; }
wanted=("WM_DEVICE_EVENT wParam 512 lParam 166 (LPARAM_DISABLE_HID)"
  "WM_HOTKEY wParam 260 lParam 0")
[ "$(logged "${wanted[0]}")$(logged "${wanted[1]}")" = 00 ] || fail "the codes' messages came early"
ctl notify 0xD0 0xC7 || fail "the driver raised no codes"
arrived=
for _ in $(seq 60); do
  arrived=$(logged "${wanted[0]}")$(logged "${wanted[1]}")
  [ "$arrived" = 11 ] && break
  sleep 0.5
done
[ "$arrived" = 11 ] && pass "notify codes 0xD0 and 0xC7 reached the window procedure" ||
  fail "notify codes 0xD0, 0xC7: messages seen '$arrived' (wanted '11')"
end_daemon

remove_driver
if wine sc query zrbacpi </dev/null >/dev/null 2>&1; then fail "the driver's service is left"; fi
finish
