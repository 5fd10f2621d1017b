# Sourced by the shell checks that run in the lab: a scratch directory $tmp,
# removed at exit, and check NAME CONDITION, which evaluates CONDITION later
# (callers quote it in single quotes) and counts it in $passed or $failed.
# shellcheck shell=bash disable=SC2034
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0

check() {
    if eval "$2"; then
        echo "ok   - $1"; ((passed++))
    else
        echo "FAIL - $1"; ((failed++))
    fi
}
