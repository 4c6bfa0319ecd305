#!/usr/bin/env bash
# The bash completion, run as bash-completion runs it: option values, the command after
# options that take a value, and the sim devices, verbs and their arguments.
set -uo pipefail
source /usr/share/bash-completion/bash_completion || { echo "no bash-completion" >&2; exit 1; }
source "$1"

faults=0
expect() {
    local line=$1 want=$2
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line COMP_POINT=${#line}
    COMPREPLY=()
    _veskosd veskosd "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [ "$got" != "$want" ]; then
        echo "'$line': got '$got', want '$want'" >&2
        faults=1
    fi
}

expect "veskosd --mach" "--machine"
expect "veskosd --sim-" "--sim-dim-timeout --sim-levels --sim-model --sim-no-firmware"
expect "veskosd --machine " "linux sim"
expect "veskosd --osd h" "headless"
expect "veskosd --runtime-dir /run/x s" "screenshot sim status"
expect "veskosd --verbose --machine sim " "key post screenshot sim status"
expect "veskosd --runtime-dir /run/x key volume-" "volume-down volume-up"
expect "veskosd --runtime-dir /run/x sim co" "controller"
expect "veskosd sim audio " "channels default level mute server"
expect "veskosd sim firmware press " "down mute up"
expect "veskosd sim controller answer n" "never normal"
expect "veskosd status " ""
exit $faults
