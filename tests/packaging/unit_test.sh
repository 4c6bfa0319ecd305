#!/usr/bin/env bash
# The systemd user unit: `systemd-analyze verify` has nothing to say about it (and does about
# a broken copy, so a silent verifier cannot pass it), and its exposure stays below 5.0.
set -euo pipefail
source_dir=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime
# Documentation=man:veskosd(1) is looked up too: the page generated in the build tree.
export MANPATH=$build/man

sed "s|@VESKOSD_BINDIR@|$build|" "$source_dir/data/systemd/veskosd.service.in" \
    >"$work/veskosd.service"
mkdir "$work/broken"
sed 's/^Type=notify$/Type=notifi/' "$work/veskosd.service" >"$work/broken/veskosd.service"

verify() {
    local rc=0
    systemd-analyze verify --user "$1" >"$work/out" 2>&1 || rc=$?
    cat "$work/out"
    [ $rc -eq 0 ] && [ ! -s "$work/out" ]
}

verify "$work/veskosd.service" || { echo "verify found fault with the unit" >&2; exit 1; }
if verify "$work/broken/veskosd.service" >/dev/null; then
    echo "verify passed a unit with a bad Type=; it checks nothing here" >&2
    exit 1
fi

systemd-analyze security --offline=true --user --threshold=50 "$work/veskosd.service" |
    tail -n 1
