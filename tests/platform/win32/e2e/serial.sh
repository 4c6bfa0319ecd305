#!/usr/bin/env bash
# End-to-end check of the serial line on the program's own "\\.\COM1", mapped onto a pty through
# Wine's Ports key: the program's link (its send and receive threads over the Win32 port) sends a
# frame the controller's end reads whole, takes its reply, and turns a report into a hot key.
# The daemon itself opens COM1 only on the display-controller model, which only the firmware
# driver reports: controller.sh runs it so, with the test driver.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

tests=$(dirname "$EXE")/tests/platform/win32/serial/serial_tests.exe
[ -f "$tests" ] || { fail "no $tests"; finish; }
command -v socat >/dev/null || { fail "socat is not installed"; finish; }

ptys=$(mktemp -d)
socat pty,raw,echo=0,link="$ptys/port" pty,raw,echo=0,link="$ptys/peer" 2>"$ptys/socat.log" &
socat_pid=$!
trap 'kill "$socat_pid" 2>/dev/null || true; rm -rf "$ptys"' EXIT
for _ in $(seq 100); do [ -e "$ptys/peer" ] && break; sleep 0.05; done
port=$(readlink "$ptys/port" || true)
peer=$(readlink "$ptys/peer" || true)
[ -n "$port" ] && [ -n "$peer" ] || { fail "socat made no ptys: $(cat "$ptys/socat.log")"; finish; }

# Wine maps the Ports key when its session's services start.
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$port" /f </dev/null >/dev/null 2>&1
stop_daemon
wine cmd /c exit </dev/null >/dev/null 2>&1
[ "$(readlink "$WINEPREFIX/dosdevices/com1")" = "$port" ] && pass "COM1 is $port" ||
  fail "COM1 maps to '$(readlink "$WINEPREFIX/dosdevices/com1")', not $port"

if VESKOSD_TEST_PEER=$peer wine "$tests" --gtest_filter='SerialLinkOverComm.*' </dev/null \
  >"$LOG" 2>&1; then
  pass "a frame out on COM1 and its reply and a report back"
else
  fail "the link over COM1"
fi
grep -q 'WaitCommEvent fails' "$LOG" && echo "note: WaitCommEvent failed; one-byte reads took over"

wine reg delete 'HKLM\Software\Wine\Ports' /v COM1 /f </dev/null >/dev/null 2>&1 || true
finish
