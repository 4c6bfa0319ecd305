#!/usr/bin/env bash
# Runs the serial tests with two linked ptys: socat relays between them, and the test opens both
# through Wine as serial ports, one as the program's line and one as the display controller.
# Usage: with_ptys.sh EMULATOR TEST_EXE [ARGS...]
set -euo pipefail
emulator=$1 exe=$2
shift 2
command -v socat >/dev/null || { echo "with_ptys.sh: socat is not installed" >&2; exit 1; }
dir=$(mktemp -d)
socat pty,raw,echo=0,link="$dir/port" pty,raw,echo=0,link="$dir/peer" 2>"$dir/socat.log" &
socat_pid=$!
trap 'kill "$socat_pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
for _ in $(seq 100); do
  [ -e "$dir/port" ] && [ -e "$dir/peer" ] && break
  sleep 0.05
done
if ! [ -e "$dir/port" ] || ! [ -e "$dir/peer" ]; then
  echo "with_ptys.sh: socat made no ptys: $(cat "$dir/socat.log")" >&2
  exit 1
fi
VESKOSD_TEST_PORT=$(readlink "$dir/port") VESKOSD_TEST_PEER=$(readlink "$dir/peer") \
  "$emulator" "$exe" "$@"
