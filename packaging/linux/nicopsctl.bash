# bash completion for nicopsctl: its commands, each command's options, the adapters for
# --adapter (what "nicopsctl adapters" lists, on the host or --sim FILE given before), files
# for --sim and --store, folders for --config. The options follow the command table of
# src/app/nicopsctl_commands.cpp.
# shellcheck disable=SC2207 # COMPREPLY=($(compgen ...)): candidates hold no blanks

_nicopsctl_command_options() {
    case $1 in
    adapters) echo --json ;;
    report) echo --adapter --json ;;
    dhcp | static) echo --adapter ;;
    list) echo --adapter --kinds --json ;;
    add) echo --adapter --mask --probe --dry-run --no-store --json ;;
    delete) echo --adapter --kinds --no-store --json ;;
    preset) echo --set ;;
    export) echo --format ;;
    lookup) echo --concurrency --export --json ;;
    esac
    # lookup takes --format only with --export.
    [[ $1 == lookup && " ${words[*]} " == *" --export "* ]] && echo --format
}

# The connection names of the adapters, one a line.
_nicopsctl_adapters() {
    local -a host=()
    local i
    for ((i = 1; i < ${#words[@]} - 1; i++)); do
        case ${words[i]} in
        --sim | --config) host+=("${words[i]}" "${words[i + 1]}") ;;
        --sim=* | --config=*) host+=("${words[i]}") ;;
        esac
    done
    # A tilde in a file name is the shell's to expand; nicopsctl sees it literally.
    host=("${host[@]/#\~/$HOME}")
    "${words[0]}" "${host[@]}" adapters 2>/dev/null | cut -f2
}

_nicopsctl() {
    local cur prev words cword split
    _init_completion -s || return

    local commands="adapters report list add delete restore dhcp static preset export lookup"
    local global="--sim --config --store --help --version"

    case $prev in
    --sim | --store)
        _filedir
        return
        ;;
    --config)
        _filedir -d
        return
        ;;
    --adapter)
        local name
        COMPREPLY=()
        while IFS= read -r name; do
            [[ $name == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
        done < <(_nicopsctl_adapters)
        return
        ;;
    --kinds)
        local done_part="" last=$cur
        if [[ $cur == *,* ]]; then
            done_part=${cur%,*},
            last=${cur##*,}
        fi
        COMPREPLY=($(compgen -P "$done_part" -W "ip gateway dhcp wins1 wins2" -- "$last"))
        [[ ${#COMPREPLY[@]} -eq 1 ]] && compopt -o nospace 2>/dev/null
        return
        ;;
    --mask | --format | --concurrency)
        return
        ;;
    esac
    $split && return

    # The command: the first word that is neither an option nor an option's value.
    local i command=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        --sim | --config | --store | --adapter | --kinds | --mask | --format | --concurrency)
            ((i++))
            ;;
        -*) ;;
        *)
            command=${words[i]}
            break
            ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$global" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
    elif [[ $cur == -* ]]; then
        # The options the command takes, but not those given already.
        local option offered=""
        for option in --sim --config --store $(_nicopsctl_command_options "$command"); do
            [[ " ${words[*]:1:cword-1} " == *" $option"[\ =]* ]] || offered+=" $option"
        done
        COMPREPLY=($(compgen -W "$offered" -- "$cur"))
    elif [[ $command == preset ]]; then
        COMPREPLY=($(compgen -W "1 2 3 4 5 6" -- "$cur"))
    fi
} &&
    complete -F _nicopsctl nicopsctl
