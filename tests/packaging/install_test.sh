#!/usr/bin/env bash
# `DESTDIR=D cmake --install --prefix /usr` puts every file where a Debian system wants it,
# and the installed daemon runs from there.
set -euo pipefail
build=$1
here=$(dirname "$0")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

missing=0
for f in usr/bin/veskosd usr/lib/udev/veskosd-hid-match usr/lib/udev/rules.d/70-veskosd.rules \
    usr/lib/systemd/user/veskosd.service etc/xdg/autostart/veskosd.desktop \
    usr/share/man/man1/veskosd.1.gz usr/share/bash-completion/completions/veskosd \
    usr/share/zsh/vendor-completions/_veskosd usr/share/doc/veskosd/README.md \
    usr/share/doc/veskosd/copyright usr/share/doc/veskosd/examples/QZConfiguration.xml; do
    [ -f "$root/$f" ] || { echo "not installed: /$f" >&2; missing=1; }
done
stray=$(cd "$root" && find . -type f | grep -v -E '^\./(usr/(bin|lib|share)|etc/xdg)/' || true)
[ -z "$stray" ] || { echo "installed outside the Debian layout:" >&2; echo "$stray" >&2; missing=1; }
[ $missing -eq 0 ] || exit 1

grep -qx 'ExecStart=/usr/bin/veskosd .*' "$root/usr/lib/systemd/user/veskosd.service" ||
    { echo "the unit does not start /usr/bin/veskosd" >&2; exit 1; }
grep -qx 'Exec=/usr/bin/veskosd' "$root/etc/xdg/autostart/veskosd.desktop" ||
    { echo "the autostart entry does not start /usr/bin/veskosd" >&2; exit 1; }

"$here/run_installed.sh" "$root"
