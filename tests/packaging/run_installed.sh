#!/usr/bin/env bash
# Starts an installed veskosd (ROOT/usr/bin/veskosd) on the simulated machine, with the
# installed example configuration in its data directory, checks that `status` answers and
# that the example was taken without a complaint, then ends it with SIGTERM.
set -euo pipefail
root=$1
bin=$root/usr/bin/veskosd
example=$root/usr/share/doc/veskosd/examples/QZConfiguration.xml
[ -x "$bin" ] || { echo "no installed binary at $bin" >&2; exit 1; }
[ -f "$example" ] || { echo "no installed example at $example" >&2; exit 1; }

work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 0700 "$work/run" "$work/data"
cp "$example" "$work/data/"

"$bin" --machine sim --osd headless --runtime-dir "$work/run" --data-dir "$work/data" \
    2>"$work/stderr" &
pid=$!

deadline=$((SECONDS + 20))
until "$bin" --runtime-dir "$work/run" status >"$work/status" 2>/dev/null; do
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "the installed daemon ended before answering:" >&2
        cat "$work/stderr" >&2
        pid=
        exit 1
    fi
    [ $SECONDS -lt $deadline ] || { echo "no status answer within 20 s" >&2; exit 1; }
    sleep 0.05 # polling with a deadline
done

python3 - "$work/status" <<'PY'
import json, sys
status = json.load(open(sys.argv[1]))
if status["eventLog"]:
    sys.exit(f"the example configuration was refused: {status['eventLog']}")
mute = status["VolumeMuteButton"]
if mute["ActionValue"] != "x-terminal-emulator -e top":
    sys.exit(f"the example configuration was not read: {mute}")
PY

kill -TERM "$pid"
rc=0
wait "$pid" || rc=$?
pid=
[ $rc -eq 0 ] || { echo "the daemon ended with status $rc on SIGTERM" >&2; cat "$work/stderr" >&2; exit 1; }
echo "installed veskosd answered status and ended on SIGTERM"
