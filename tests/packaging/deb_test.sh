#!/usr/bin/env bash
# Builds the .deb from the build tree, checks it with lintian (no errors), checks that its
# Depends came from the binaries' shared libraries, and runs the daemon unpacked from it.
set -euo pipefail
build=$1
hardened=${2:-1}
here=$(dirname "$0")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$work"/out/veskosd_*.deb)

# Errors fail; warnings are printed for the record. No hardening tag, even at the info level.
lintian --fail-on error -I --tag-display-limit 0 "$deb" | tee "$work/lintian.log"
if [ "$hardened" = 1 ] && grep -E '^[EWI]: veskosd: hardening-' "$work/lintian.log"; then
    echo "lintian reports missing hardening (above)" >&2
    exit 1
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libx11-6 libpulse0 libsystemd0 libudev1; do
    grep -q -F -e ", $lib " -e ", $lib," <<<", $depends," || { echo "Depends lacks $lib" >&2; exit 1; }
done

dpkg-deb -x "$deb" "$work/root"
conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./conffiles)
[ "$conffiles" = /etc/xdg/autostart/veskosd.desktop ] ||
    { echo "conffiles: $conffiles" >&2; exit 1; }
# The install-time paths are the installed system's, not cpack's staging tree.
grep -qx 'ExecStart=/usr/bin/veskosd .*' "$work/root/usr/lib/systemd/user/veskosd.service" ||
    { echo "the packaged unit does not start /usr/bin/veskosd" >&2; exit 1; }
grep -qx 'Exec=/usr/bin/veskosd' "$work/root/etc/xdg/autostart/veskosd.desktop" ||
    { echo "the packaged autostart entry does not start /usr/bin/veskosd" >&2; exit 1; }
"$here/run_installed.sh" "$work/root"
