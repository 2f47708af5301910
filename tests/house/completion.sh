#!/bin/bash
# The bash completion, as bash-completion loads it: one row per command
# line typed so far, with the words it must offer.
# Usage: completion.sh EMU6502-FOLDER COMPLETION-FILE
set -u
folder=$1 completion=$2
if [[ ! -f /usr/share/bash-completion/bash_completion ]]; then
    echo "bash-completion is not installed: skipped"; exit 77
fi
source /usr/share/bash-completion/bash_completion
source "$completion"
PATH=$folder:$PATH
cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
touch prog.bin main.c util.s notes.txt -- -x.dbg

status=0
# offers NAME EXPECTED WORD...: completing the last WORD offers EXPECTED
# (words sorted, space-separated).
offers() {
    local name=$1 expected=$2
    shift 2
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    local function=_emu6502
    [[ $1 == emu6502-build ]] && function=_emu6502_build
    "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [[ $got != "$expected" ]]; then
        echo "FAIL $name: offered '$got', expected '$expected'"; status=1
    fi
}
offers options_from_help "--check --check-off --check-suppress --clean --commands --core --coverage --cpu" emu6502 --c
offers option_after_image "--max-instructions" emu6502 prog.bin --ma
offers cpu_names "6502 6502X 65C02" emu6502 --cpu ""
offers cpu_name_prefix "6502 6502X" emu6502 --cpu 6502
offers file_after_labels "notes.txt" emu6502 --labels no
offers option_like_file_after_debug_info "-x.dbg" emu6502 --debug-info -x
offers nothing_for_a_number "" emu6502 --seed ""
offers image_names "prog.bin" emu6502 pr
offers test_command "test" emu6502 te
offers test_options "--check --check-off --check-suppress --commands --coverage" emu6502 test --c
offers test_files "notes.txt" emu6502 test -j 2 no
offers nothing_for_a_job_count "" emu6502 test -j ""
offers build_cpu "--cpu" emu6502-build -
offers build_cpu_names "6502 6502X 65C02" emu6502-build --cpu ""
offers build_sources_only "main.c util.s" emu6502-build --cpu 6502 out.bin ""
# Every option of --help completes: the list comes from it.
expected=$(emu6502 --help | grep -E '^  -' | sed -E 's/^  //; s/  .*//; s/ [A-Z].*//; s/, /\n/g' | grep -- '^--' | sort | xargs)
offers every_long_option "$expected" emu6502 --
[[ $status == 0 ]] && echo "completion offers what it should"
exit $status
