#!/usr/bin/env bash
# End-to-end checks of veskosd.exe under Wine: every script in e2e/ but the shared lib.sh, each
# on its own daemon. Run by scripts/test-win32, which sets up the prefix, the session and the
# display.
set -euo pipefail
export EXE=$1 W=$2
here=$(dirname "$0")/e2e
failed=()
for script in "$here"/*.sh; do
  [ "$(basename "$script")" = lib.sh ] && continue
  name=$(basename "$script" .sh)
  echo "== e2e: $name"
  LOG=$W/$name.log bash "$script" || failed+=("$name")
done
if [ "${#failed[@]}" -ne 0 ]; then
  echo "e2e: failed: ${failed[*]}" >&2
  exit 1
fi
echo "e2e: all passed"
