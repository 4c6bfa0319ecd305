# Shared by the end-to-end scripts: they are run by ../e2e.sh with EXE (veskosd.exe) and W (the
# run directory, with the prefix and the logs) set, on the display and prefix scripts/test-win32
# made. Each script starts the daemons it needs and leaves none running.
DATA='C:\veskosd-data'
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

veskosd() { wine "$EXE" "$@" </dev/null; }

# A field of the running instance's status (a Python expression over `s`), or nothing.
status_field() {
  veskosd status 2>/dev/null | python3 -c "import json,sys; s=json.load(sys.stdin); print($1)" \
    2>/dev/null || true
}

# Polls until the expression over the status prints `want`, for up to 30 s.
wait_for() {
  local expr=$1 want=$2 got=
  for _ in $(seq 60); do
    got=$(status_field "$expr")
    [ "$got" = "$want" ] && return 0
    sleep 0.5
  done
  echo "  last: $expr = '$got' (wanted '$want')" >&2
  return 1
}

# Starts the daemon with the given options, its output in $LOG, and waits for its status.
daemon_pid=
start_daemon() {
  wine "$EXE" --data-dir "$DATA" "$@" </dev/null >"$LOG" 2>&1 &
  daemon_pid=$!
  wait_for 's["hMainWnd"]' VESKOSD
}

# Ends every process of the prefix and starts its services again for the next script.
stop_daemon() {
  [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null || true
  daemon_pid=
  wineserver -k >/dev/null 2>&1 || true
  # Until the old server is gone: made persistent while it still ends, it would serve the next
  # script's daemon beside what is left of this one's.
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1
}

# The script's verdict, with the daemon's log when something failed.
finish() {
  stop_daemon
  if [ "$failures" -ne 0 ]; then
    echo "$(basename "$0"): $failures failed; the daemon's log:" >&2
    cat "$LOG" >&2
    exit 1
  fi
  echo "$(basename "$0"): all passed"
}

# The test firmware driver (../driver), installed as a kernel service of the prefix. Only the
# service manager's own calls make a service it knows without a restart; a demand start keeps
# the driver from coming back by itself once the prefix's processes are ended.
driver_built=$(dirname "$EXE")/tests/platform/win32/driver
ctl() { wine "$driver_built/zrbacpictl.exe" "$@" </dev/null; }

remove_driver() {
  wine net stop zrbacpi </dev/null >/dev/null 2>&1 || true
  wine sc delete zrbacpi </dev/null >/dev/null 2>&1 || true
  rm -f "$WINEPREFIX/drive_c/windows/system32/drivers/zrbacpi.sys"
}

install_driver() {
  cp "$driver_built/zrbacpi.sys" "$WINEPREFIX/drive_c/windows/system32/drivers/zrbacpi.sys"
  if wine sc create zrbacpi type= kernel start= demand \
    binpath= 'C:\windows\system32\drivers\zrbacpi.sys' </dev/null >"$W/sc.log" 2>&1 &&
    wine net start zrbacpi </dev/null >>"$W/sc.log" 2>&1; then
    pass "the driver's service started"
    return 0
  fi
  fail "the driver did not start: $(cat "$W/sc.log")"
  remove_driver
  return 1
}
