# bash completion for emu6502 and emu6502-build.
# The options come from --help, so a new option completes with no change
# here; only what follows an option is listed below.

_emu6502() {
    local cur prev words cword split
    _init_completion -s || return
    # emu6502 test: its own options, then test files.
    if [[ ${words[1]-} == test && $cword -gt 1 ]]; then
        case $prev in
            -j | --jobs | --only) return ;;
        esac
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '$(_parse_help "$1" "test --help")' -- "$cur"))
            return
        fi
        _filedir
        return
    fi
    case $prev in
        --cpu)
            COMPREPLY=($(compgen -W '6502 6502X 65C02' -- "$cur"))
            return ;;
        --commands | --debug-info | --labels | --profile | --record | --replay)
            _filedir
            return ;;
        --load-address | --start | --max-instructions | --seed | --time)
            return ;;  # a number or an address: nothing to offer
    esac
    $split && return
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '$(_parse_help "$1")' -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir
    ((cword == 1)) && COMPREPLY+=($(compgen -W test -- "$cur"))
} && complete -F _emu6502 emu6502

_emu6502_build() {
    local cur prev words cword
    _init_completion || return
    if [[ $prev == --cpu ]]; then
        COMPREPLY=($(compgen -W '6502 6502X 65C02' -- "$cur"))
        return
    fi
    if [[ $cur == -* && $cword == 1 ]]; then
        COMPREPLY=($(compgen -W '--cpu' -- "$cur"))
        return
    fi
    # The image first, then the sources.
    local first=1
    [[ ${words[1]-} == --cpu ]] && first=3
    if ((cword == first)); then
        _filedir
    else
        _filedir '@(c|s)'
    fi
} && complete -F _emu6502_build emu6502-build
