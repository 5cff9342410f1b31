#!/usr/bin/env bash
# The bash completions offer what each program's --help names, in the right places.
# Usage: completion_test.sh COMPLETION_DIR PROGRAM...; the window's cases run when it is given.
set -u
completions=$1
shift
declare -A programs
for program in "$@"; do
    programs[$(basename "$program")]=$program
done
failures=0

# check FILE "WORD..." EXPECTED: completes the last word of the line, as a shell would.
check() {
    local file=$1 line=$2 expected=$3
    local got
    got=$(
        # shellcheck disable=SC1090
        source "$completions/$file"
        read -r -a COMP_WORDS <<<"$line"
        [[ $line == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_WORDS[0]=${programs[${COMP_WORDS[0]}]}
        "$(complete -p "$file" | sed 's/.*-F \([^ ]*\) .*/\1/')"
        echo "${COMPREPLY[*]}"
    )
    if [ "$got" != "$expected" ]; then
        echo "FAIL: '$line': got '$got', expected '$expected'"
        failures=$((failures + 1))
    fi
}

check praveltest-cli "praveltest-cli " "poll level monitor pattern --list-interfaces --help --version"
check praveltest-cli "praveltest-cli m" "monitor"
check praveltest-cli "praveltest-cli monitor --" "--format --universe --seconds --interface --port --help"
check praveltest-cli "praveltest-cli monitor --format " "screen log json"
check praveltest-cli "praveltest-cli monitor --seconds " ""
check praveltest-cli "praveltest-cli pattern " "check chase ramp"
check praveltest-cli "praveltest-cli pattern chase --s" "--start-code --shape --seconds"
check praveltest-cli "praveltest-cli pattern chase --shape " "snap ramp sine"
check praveltest-cli "praveltest-cli pattern check --format " "raw rle pairs zero"
check praveltest-cli "praveltest-cli pattern check --hold " ""
check praveltest-cli "praveltest-cli pattern ramp --k" "--keep"
check praveltest-cli "praveltest-cli poll --" "--wait --expect --format --interface --port --help"
check praveltest-cli "praveltest-cli level 9 --d" "--dry-run"
check praveltest-cli "praveltest-cli poll --format " "table json csv"
check praveltest-cli "praveltest-cli level 255 --format " "raw rle pairs zero"
check praveltest-cli "praveltest-cli poll --wait " ""
check praveltest-cli "praveltest-cli poll --interface l" "lo"
check praveltest-cli "praveltest-cli poll --interface 127." "127.0.0.1"
check praveltest-node "praveltest-node --li" "--listen-to --listen-address --list-interfaces"
check praveltest-node "praveltest-node --bind 127" "127.0.0.255"
check praveltest-node "praveltest-node --count " ""
if [ -n "${programs[praveltest]:-}" ]; then
    check praveltest "praveltest --" "--interface --list-interfaces --help --version"
    check praveltest "praveltest --interface l" "lo"
fi

[ $failures = 0 ] && echo "all completions as expected"
exit $((failures > 0))
