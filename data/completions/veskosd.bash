# bash completion for veskosd

_veskosd() {
    local cur prev words cword
    _init_completion || return

    local opts="-h --help --version --machine --runtime-dir --data-dir --os-version --serial
        --osd --display-server --osd-output --acpi-device --acpi-method-path --acpi-buttons
        --model --verbose --sim-model --sim-levels --sim-no-firmware --sim-dim-timeout --portal-shortcuts"
    local commands="status post key screenshot sim"

    case $prev in
        --machine) COMPREPLY=($(compgen -W "linux sim" -- "$cur")); return ;;
        --osd) COMPREPLY=($(compgen -W "x11 notification headless" -- "$cur")); return ;;
        --display-server) COMPREPLY=($(compgen -W "wayland x11 none" -- "$cur")); return ;;
        --osd-output) COMPREPLY=($(compgen -W "focused all" -- "$cur")); return ;;
        --os-version) COMPREPLY=($(compgen -W "5 6" -- "$cur")); return ;;
        --model) COMPREPLY=($(compgen -W "1 2" -- "$cur")); return ;;
        --runtime-dir | --data-dir) _filedir -d; return ;;
        --serial | --acpi-device | --acpi-buttons) _filedir; return ;;
        --acpi-method-path | --sim-model | --sim-levels | --sim-dim-timeout) return ;;
    esac

    # The command, and where it is in the line.
    local i command="" at=0
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --machine | --runtime-dir | --data-dir | --os-version | --serial | --osd | \
                --display-server | --osd-output | \
                --acpi-device | --acpi-method-path | --acpi-buttons | --sim-model | \
                --sim-levels | --sim-dim-timeout) ((i++)) ;;
            -*) ;;
            *) command=${words[i]} at=$i; break ;;
        esac
    done

    case $command in
        "")
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$opts" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            fi
            ;;
        screenshot) ((cword == at + 1)) && _filedir png ;;
        key)
            ((cword == at + 1)) && COMPREPLY=($(compgen -W "volume-up volume-down mute
                brightness-up brightness-down panel" -- "$cur"))
            ;;
        sim)
            local device=${words[at + 1]}
            if ((cword == at + 1)); then
                COMPREPLY=($(compgen -W "firmware backlight hid gui audio controller key mouse" -- "$cur"))
            elif ((cword == at + 2)); then
                local verbs=""
                case $device in
                    firmware) verbs="press release notify" ;;
                    backlight) verbs="set" ;;
                    gui) verbs="hold" ;;
                    audio) verbs="level mute default channels server" ;;
                    controller) verbs="report send answer unplug plug" ;;
                    mouse) verbs="move down up" ;;
                esac
                COMPREPLY=($(compgen -W "$verbs" -- "$cur"))
            elif ((cword == at + 3)); then
                local args=""
                case $device/${words[at + 2]} in
                    firmware/press | firmware/release) args="mute up down" ;;
                    audio/mute) args="0 1" ;;
                    audio/server) args="up down" ;;
                    controller/answer) args="normal never garbage late" ;;
                    key/*) args="down up" ;;
                esac
                COMPREPLY=($(compgen -W "$args" -- "$cur"))
            fi
            ;;
    esac
} && complete -F _veskosd veskosd
