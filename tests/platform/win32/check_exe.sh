#!/usr/bin/env bash
# What veskosd.exe is: a GUI-subsystem x86-64 program that needs no MinGW DLL (it imports from
# system DLLs only) and calls the system's own interfaces for the hot keys, the firmware driver,
# the layered OSD and the instance mutex.
set -euo pipefail
EXE=$1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

kind=$(file -b "$EXE")
case "$kind" in
  "PE32+ executable (GUI) x86-64"*) echo "ok: $kind" ;;
  *) fail "veskosd.exe is '$kind'" ;;
esac

imports=$(x86_64-w64-mingw32-objdump -p "$EXE")
system_dlls='^(advapi32|gdi32|kernel32|oleaut32|shell32|shlwapi|user32|uxtheme|winmm|gdiplus|msvcrt|ole32|xmllite|powrprof|setupapi|comctl32|ntdll)\.dll$'
while read -r dll; do
  echo "$dll" | tr 'A-Z' 'a-z' | grep -q -E "$system_dlls" || fail "imports from $dll"
done < <(echo "$imports" | sed -n 's/^\s*DLL Name: //p')
for call in RegisterHotKey DeviceIoControl SetLayeredWindowAttributes CreateMutexW; do
  grep -q -w "$call" <<<"$imports" || fail "does not import $call"
done
[ "$failures" -eq 0 ] && echo "ok: system DLLs only; RegisterHotKey, DeviceIoControl," \
  "SetLayeredWindowAttributes and CreateMutexW imported"
exit $(( failures > 0 ))
