#!/usr/bin/env bash
# The daemon, its helper and every backend module carry the hardening a distribution expects:
# full RELRO (BIND_NOW and a GNU_RELRO segment), stack protection and fortified libc calls; and
# every translation unit of ours was compiled with the hardening flags.
# Usage: hardening_test.sh [--no-fortify] COMPILE_COMMANDS ELF...
set -uo pipefail
fortify=1
if [ "${1:-}" = --no-fortify ]; then fortify=0; shift; fi
commands=$1
shift
[ $# -gt 0 ] || { echo "FAIL: no files to check" >&2; exit 1; }
# Modules all of whose fortifiable calls either have sizes proven safe at compile time or write
# into heap buffers the compiler cannot size: there is no _chk call to make. They are still
# compiled with the flags (checked below).
no_chk_expected="veskosd-cairo.so veskosd-pulse.so veskosd-xml.so veskosd-logind.so"
failed=0
for f in "$@"; do
  [ -f "$f" ] || { echo "FAIL: $f: missing" >&2; failed=1; continue; }
  dynamic=$(readelf -dW "$f") || { echo "FAIL: $f: not an ELF file" >&2; failed=1; continue; }
  missing=()
  grep -qE 'FLAGS.*BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || missing+=("BIND_NOW")
  readelf -lW "$f" | grep -q 'GNU_RELRO' || missing+=("RELRO")
  symbols=$(readelf --dyn-syms -W "$f")
  grep -q '__stack_chk_fail' <<<"$symbols" || missing+=("stack protection")
  if [ "$fortify" = 1 ] && ! grep -qE ' __[a-z_]+_chk(@|$)' <<<"$symbols"; then
    grep -qw "$(basename "$f")" <<<"$no_chk_expected" || missing+=("fortified (_chk) calls")
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    echo "FAIL: $f: missing ${missing[*]}" >&2
    failed=1
  else
    echo "ok: $f"
  fi
done

# Every compile of our sources (not of tests or benchmarks) carries the flags.
wanted="-fstack-protector-strong -fstack-clash-protection -fcf-protection"
[ "$fortify" = 1 ] && wanted="$wanted -D_FORTIFY_SOURCE=3"
out=$(python3 - "$commands" $wanted <<'PY'
import json, sys
commands, wanted = sys.argv[1], sys.argv[2:]
entries = json.load(open(commands))
ours = [e for e in entries if "/tests/" not in e["file"] and "/bench/" not in e["file"]]
if len(ours) < 50:
    print(f"only {len(ours)} compiles of our sources in {commands}")
for e in ours:
    args = e.get("command", " ".join(e.get("arguments", []))).split()
    lacking = [w for w in wanted if w not in args]
    if lacking:
        print(f"{e['file']}: compiled without {' '.join(lacking)}")
PY
)
if [ -n "$out" ]; then
  echo "FAIL: $out" >&2
  failed=1
fi
exit $failed
