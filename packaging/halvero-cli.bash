# bash completion for halvero-cli: its commands, the options each takes, the
# serial ports ('halvero-cli ports' names them; a word starting with / is a
# device path) and files.

# The serial ports, or device paths for a word that starts with /.
_halvero_cli_ports()
{
    local cur=$1 program=$2
    if [[ $cur == /* ]]; then
        compopt -o filenames 2>/dev/null
        COMPREPLY+=($(compgen -f -- "$cur"))
        return
    fi
    local names
    names=$("$program" ports -q 2>/dev/null | awk '{print $1}')
    COMPREPLY+=($(compgen -W "$names" -- "$cur"))
}

_halvero_cli_files()
{
    compopt -o filenames 2>/dev/null
    COMPREPLY+=($(compgen -f -- "$1"))
}

# The options of one command, beside those every command takes.
_halvero_cli_options()
{
    case $1 in
        ports) echo "" ;;
        identify) echo "--baud --all --slots" ;;
        status) echo "--baud --watch --count" ;;
        "config get" | dump) echo "--baud -o --output" ;;
        "config set") echo "--baud --verify --no-history --record" ;;
        "config diff") echo "--baud" ;;
        defaults) echo "--baud --yes --no-history --record" ;;
        history) echo "--serial --count" ;;
        "history restore") echo "--baud --verify --any-board --no-history --record" ;;
        provision) echo "--baud --verify --no-history --record --all --slots --jobs --report" ;;
        check) echo "--baud --no-history --record --all --slots --jobs --report" ;;
        "record push") echo "--record --history" ;;
        "record boards") echo "--record" ;;
        "record show") echo "--record --serial --station --since --count" ;;
    esac
}

_halvero_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local program=${COMP_WORDS[0]}
    COMPREPLY=()

    case $prev in
        --baud)
            COMPREPLY=($(compgen -W "1200 2400 4800 9600 19200 38400 57600 115200" -- "$cur"))
            return
            ;;
        --count | --jobs | --serial | --record | --station | --since) return ;;
        -o | --output | --report | --slots)
            _halvero_cli_files "$cur"
            return
            ;;
    esac

    # The words typed so far that are no option nor an option's value.
    local -a words=()
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --baud | --count | --jobs | --serial | --record | --station | --since | -o | --output | --report | --slots) ((i++)) ;;
            -*) ;;
            *) words+=("${COMP_WORDS[i]}") ;;
        esac
    done

    if ((${#words[@]} == 0)); then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "ports identify status config defaults dump history provision check record" -- "$cur"))
        fi
        return
    fi

    local command=${words[0]}
    case $command in
        config)
            if ((${#words[@]} == 1)); then
                COMPREPLY=($(compgen -W "get set diff" -- "$cur"))
                return
            fi
            command="config ${words[1]}"
            words=("${words[@]:2}")
            ;;
        record)
            if ((${#words[@]} == 1)); then
                COMPREPLY=($(compgen -W "push show boards" -- "$cur"))
                return
            fi
            command="record ${words[1]}"
            words=("${words[@]:2}")
            ;;
        history)
            if [[ ${words[1]-} == restore ]]; then
                command="history restore"
                words=("${words[@]:2}")
            elif ((${#words[@]} == 1)) && [[ $cur != -* ]]; then
                COMPREPLY=($(compgen -W "restore" -- "$cur"))
                return
            else
                words=("${words[@]:1}")
            fi
            ;;
        *) words=("${words[@]:1}") ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_halvero_cli_options "$command") --json -q --quiet -v --verbose -h --help" -- "$cur"))
        return
    fi
    # What the next operand stands for.
    local n=${#words[@]}
    case $command in
        identify) _halvero_cli_ports "$cur" "$program" ;;
        status | "config get" | defaults | dump | "history restore")
            ((n == 0)) && _halvero_cli_ports "$cur" "$program"
            ;;
        "config set" | "config diff")
            if ((n == 0)); then
                _halvero_cli_ports "$cur" "$program"
            elif ((n == 1)); then
                _halvero_cli_files "$cur"
            fi
            ;;
        provision | check)
            if ((n == 0)); then
                _halvero_cli_files "$cur"
            else
                _halvero_cli_ports "$cur" "$program"
            fi
            ;;
    esac
}
complete -F _halvero_cli halvero-cli
