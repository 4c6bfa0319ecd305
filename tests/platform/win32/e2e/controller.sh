#!/usr/bin/env bash
# End-to-end check of the display-controller model as a whole: the test firmware driver reports
# model 2, so the daemon opens its own "\\.\COM1", mapped onto a pty through Wine's Ports key,
# and the controller's end of the line reads a volume frame whole, answers it, and sends a
# button report that reaches the window procedure as the volume-down hot key. The mixer's
# generation on a private PulseAudio gives the volume a known start (full), which the frame
# carries.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/../audio/pulse.sh"
command -v socat >/dev/null || { fail "socat is not installed"; finish; }

ptys=$(mktemp -d)
socat pty,raw,echo=0,link="$ptys/port" pty,raw,echo=0,link="$ptys/peer" 2>"$ptys/socat.log" &
socat_pid=$!
cleanup() {
  kill "$socat_pid" ${peer_pid:-} 2>/dev/null || true
  stop_pulse
  rm -rf "$ptys"
  wine reg delete 'HKLM\Software\Wine\Ports' /v COM1 /f </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT
start_pulse || { fail "no sound server for Wine"; finish; }
for _ in $(seq 100); do [ -e "$ptys/peer" ] && break; sleep 0.05; done
port=$(readlink "$ptys/port" || true)
[ -n "$port" ] && [ -e "$ptys/peer" ] || { fail "socat made no ptys: $(cat "$ptys/socat.log")"; finish; }

# Wine maps the Ports key when its session's services start; the driver is started after that.
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$port" /f </dev/null >/dev/null 2>&1
stop_daemon
wine cmd /c exit </dev/null >/dev/null 2>&1
install_driver || finish
ctl model 2 || fail "the driver took no model"

# The controller: each frame it reads is logged in hex and answered with its reply code; once
# told to by the file "report", it sends the volume-down button report.
python3 - "$ptys/peer" "$ptys/frames" "$ptys/report" <<'PY' &
import os, select, sys, time
peer, frames, report = sys.argv[1:]
fd = os.open(peer, os.O_RDWR | os.O_NOCTTY)
buf = b""
sent = False
while True:
    ready, _, _ = select.select([fd], [], [], 0.05)
    if ready:
        buf += os.read(fd, 64)
        while len(buf) >= 10:
            frame, buf = buf[:10], buf[10:]
            with open(frames, "a") as f:
                f.write(" ".join("%02X" % b for b in frame) + "\n")
            os.write(fd, frame[:3] + b"\x02" + frame[4:])
    if not sent and os.path.exists(report):
        os.write(fd, bytes([0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, 0x09, 0x00, 0x03]))
        sent = True
PY
peer_pid=$!

start_daemon --verbose --os-version 5 || fail "no status from the instance: $(cat "$LOG")"
wait_for 's["dwModelID"], s["bOSDModel"], s["hUARTDevice"] != "INVALID_HANDLE_VALUE"' "2 0 True" &&
  pass "model 2 opened COM1" || fail "model 2 did not open COM1"

veskosd post 1281 512 32 || fail "the post failed"
wait_for 's["uart"]["UARTResponseBuf"]' "02 00 00 02 7E 00 02 02 64 03" &&
  pass "the controller's reply came back" || fail "no reply in status"
frames=$(cat "$ptys/frames" 2>/dev/null || true)
[ "$frames" = "02 00 00 01 7E 00 02 02 64 03" ] && pass "the controller read the volume frame whole" ||
  fail "the controller read: '$frames'"

touch "$ptys/report"
for _ in $(seq 60); do grep -q "WM_HOTKEY wParam 259 lParam 0" "$LOG" && break; sleep 0.5; done
grep -q "WM_HOTKEY wParam 259 lParam 0" "$LOG" && pass "the button report became the volume-down hot key" ||
  fail "no volume-down hot key from the report"

kill "$daemon_pid" 2>/dev/null || true
wait "$daemon_pid" 2>/dev/null || true
daemon_pid=
remove_driver
finish
