#!/usr/bin/env bash
# scripts/check-layering passes the real tree and refuses each kind of include the core must not
# make, planted one at a time in a copy of a small tree.
set -uo pipefail
src=$1
check=$src/scripts/check-layering
fail() { echo "FAIL: $*" >&2; exit 1; }

bash "$check" "$src" || fail "the source tree itself is refused"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/app" "$tmp/control" "$tmp/base/posix" "$tmp/base/win32" "$tmp/platform/linux/x11"
printf '#include <vector>\n#include <nlohmann/json.hpp>\n#include "platform/ports.h"\n' > "$tmp/app/ok.cpp"
printf '#include <pthread.h>\n' > "$tmp/base/posix/os.cpp"
printf '#include <windows.h>\n' > "$tmp/base/win32/os.cpp"
printf '#include <X11/Xlib.h>\n' > "$tmp/platform/linux/x11/x.cpp"
bash "$check" "$tmp" 2>/dev/null || fail "a clean tree is refused"

planted=0
plant() {  # plant FILE LINE
  local file=$1 line=$2
  mkdir -p "$(dirname "$tmp/$file")"
  printf '%s\n' "$line" > "$tmp/$file"
  local out
  if out=$(bash "$check" "$tmp" 2>&1); then
    fail "not refused: $file: $line"
  fi
  grep -qF "$file:1:" <<<"$out" || fail "refused without naming $file: $out"
  rm -f "$tmp/$file"
  planted=$((planted + 1))
}
plant app/a.cpp '#include <linux/input.h>'
plant dispatch/b.cpp '#include <sys/socket.h>'
plant input/c.h '#include <dlfcn.h>'
plant serial/d.cpp '#include <signal.h>'
plant base/thread2.cpp '#include <pthread.h>'
plant base/win32x/os.cpp '#include <windows.h>'
plant osd/e.cpp '#include <X11/Xlib.h>'
plant buttons/f.cpp '#include <glib.h>'
plant power/g.cpp '#include <libudev.h>'
plant brightness/h.cpp '  #  include <libevdev/libevdev.h>'
plant audio/i.cpp '#include <pulse/pulseaudio.h>'
plant control/j.cpp '#include <unistd.h>'
plant platform/k.cpp '#include <fcntl.h>'
plant app/l.cpp '#include "platform/linux/x11/x11_osd.h"'
plant power/m.cpp '#include "platform/sim/power.h"'
plant app/n.cpp '#include "cli/options.h"'
echo "check-layering: the tree passes and $planted planted includes are refused"
