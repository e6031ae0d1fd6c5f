# Shared by the command-line tests: `expect <status> <pattern> <command...>`
# runs the command and counts a failure in $failures unless it exits with
# <status> and its output (stdout and stderr) matches <pattern>.
expect() {
    local want=$1 pattern=$2
    shift 2
    local out status
    out=$("$@" 2>&1)
    status=$?
    if [ "$status" -ne "$want" ] || ! grep -q -- "$pattern" <<<"$out"; then
        echo "FAIL: $* -> status $status (want $want), output: $out" >&2
        failures=$((failures + 1))
    fi
}
