#!/usr/bin/env bash
# Checks scripts/lab itself: parallel runs, clean-up after a normal exit, a
# signal and a SIGKILL, the exit status, and that the calling namespace keeps
# its interfaces. Usage: lab-script.sh LAB APSIM PROBE
# The checks are strings that check() evaluates later, hence single quotes.
# shellcheck disable=SC2016,SC2034
set -u
lab=$1 apsim=$2 probe=$3
run=("$lab" --apsim "$apsim")
# shellcheck source=tests/lab/checks.sh
. "$(dirname "$0")/checks.sh"
# The namespaces of the lab run whose script has pid $1.
namespaces_of() { ip netns list | awk '{print $1}' | grep -E "^pb-$1-[0-9a-f]{4}-(tool|aps[0-9]*)$"; }
# Waits up to 30 s for the file $1.
await_file() {
    local deadline=$((SECONDS + 30))
    until [[ -e $1 ]]; do ((SECONDS < deadline)) || return 1; sleep 0.05; done
}
# Waits up to 10 s for process $1 to end.
await_gone() {
    local deadline=$((SECONDS + 10))
    while kill -0 "$1" 2>/dev/null; do ((SECONDS < deadline)) || return 1; sleep 0.05; done
}

if ((EUID != 0)); then
    echo "lab-script: network namespaces unavailable (needs root)"
    exit 77
fi
host_links_before=$(ip -o link show | awk -F': ' '{print $2}' | sort)

# Two runs at once get namespaces of their own and both pass.
"${run[@]}" --aps 3 -- "$probe" discovery >"$tmp/a.log" 2>&1 &
a=$!
"${run[@]}" --aps 3 -- "$probe" discovery >"$tmp/b.log" 2>&1 &
b=$!
wait "$a"; status_a=$?
wait "$b"; status_b=$?
check "two parallel runs both pass ($status_a, $status_b)" '((status_a == 0 && status_b == 0))'
check "after a normal exit no namespace of theirs is left" '[[ -z $(namespaces_of $a)$(namespaces_of $b) ]]'

# The tool side sees only its own link.
"${run[@]}" --aps 2 -- ip -o -4 address show >"$tmp/addr.log" 2>&1
check "the tool namespace holds only 127.0.0.1 and 198.18.0.1/15" \
    '[[ $(awk "{print \$4}" "$tmp/addr.log" | sort | tr "\n" " ") == "127.0.0.1/8 198.18.0.1/15 " ]]'

"${run[@]}" --aps 1 -- sh -c 'exit 5' >/dev/null 2>&1
status=$?
check "the command's exit status is passed on ($status)" '((status == 5))'

# A SIGKILLed run leaves its namespaces; its simulator follows it, and the
# next run removes the namespaces together with what still runs in them.
"${run[@]}" --aps 2 -- sh -c "touch '$tmp/k'; exec sleep 300" >/dev/null 2>&1 &
k=$!
check "the run to be killed starts" 'await_file "$tmp/k"'
tool_ns=$(namespaces_of "$k" | grep -- -tool$)
ap_ns=$(namespaces_of "$k" | grep -- -aps$)
sleeper=$(ip netns pids "$tool_ns")
simulator=$(ip netns pids "$ap_ns")
kill -KILL "$k"
wait "$k" 2>/dev/null
check "its simulator ends with it" 'await_gone "$simulator"'
"${run[@]}" --aps 3 -- "$probe" discovery >"$tmp/next.log" 2>&1
status=$?
check "the next run passes ($status)" '((status == 0))'
check "and removed the killed run's namespaces" '[[ -z $(namespaces_of $k) ]]'
check "and ended the command the killed run left behind" 'await_gone "$sleeper"'

# SIGTERM while the command runs: the command is stopped, the lab cleaned up.
"${run[@]}" --aps 2 -- sh -c "touch '$tmp/t'; exec sleep 300" >/dev/null 2>&1 &
t=$!
await_file "$tmp/t"
sleeper=$(ip netns pids "$(namespaces_of "$t" | grep -- -tool$)")
kill -TERM "$t"
wait "$t"
status=$?
check "SIGTERM ends the run with 143 ($status)" '((status == 143))'
check "and leaves no namespace" '[[ -z $(namespaces_of $t) ]]'
check "and no command" 'await_gone "$sleeper"'

# Devices at one address: the access point host holds it once, the lab lists
# it per device; --command-log hands COMMAND an empty log.
"${run[@]}" --aps 3 --apsim-args "--shared-ip 198.19.250.1" --command-log -- sh -c \
    'ip -n "$PEMBLOR_LAB_AP_NS" -o -4 address show dev "$PEMBLOR_LAB_AP_IFACE"; echo "log ${PEMBLOR_LAB_COMMAND_LOG:-none} $(wc -c <"$PEMBLOR_LAB_COMMAND_LOG")"; cat "$PEMBLOR_LAB_AP_ADDR_FILE"' \
    >"$tmp/shared.log" 2>&1
check "--shared-ip: the access point host holds 198.19.250.1/15 once, listed for each of 3" \
    '[[ $(awk "/inet/ {print \$4}" "$tmp/shared.log") == "198.19.250.1/15" && $(grep -cx "198.19.250.1" "$tmp/shared.log") == 3 ]]'
check "--command-log: the log is in the scratch directory and empty" 'grep -Eq "^log /.*/commands.log 0$" "$tmp/shared.log"'

# Several links: one /24 each, the default route on the first only.
"${run[@]}" --links 3 --aps 1 -- sh -c 'ip -o -4 address show; ip route show default' >"$tmp/links.log" 2>&1
check "--links 3: the tool namespace holds 127.0.0.1 and one /24 per link" \
    '[[ $(awk "/inet/ {print \$2 \" \" \$4}" "$tmp/links.log" | sort | tr "\n" " ") == "lab0 198.18.1.1/24 lab1 198.18.2.1/24 lab2 198.18.3.1/24 lo 127.0.0.1/8 " ]]'
check "--links 3: the default route leaves by lab0 only" \
    '[[ $(grep "^default" "$tmp/links.log") == "default dev lab0 scope link "* && $(grep -c "^default" "$tmp/links.log") == 1 ]]'
"${run[@]}" --links 2 --aps 300 -- sh -c 'cat "$PEMBLOR_LAB_AP_IFACE_FILE"' >"$tmp/big.log" 2>&1
check "--links 2 --aps 300: each link's access points start outside the /24s" \
    '[[ $(grep -c " lab0$" "$tmp/big.log") == 300 && $(grep -c " lab1$" "$tmp/big.log") == 300 ]] &&
     grep -qx "198.19.0.1 lab0" "$tmp/big.log" && grep -qx "198.19.64.1 lab1" "$tmp/big.log"'
for bad in "--links 9" "--links x" "--links 2 --link-apsim-arg 3 --silent"; do
    # shellcheck disable=SC2086 # the options are words
    "${run[@]}" $bad -- true >/dev/null 2>&1
    status=$?
    check "$bad is a bad command line ($status)" '((status == 2))'
done

# SIGTERM while a multi-link run with the firewall rule is up: everything goes.
"${run[@]}" --links 2 --aps 1 --drop-inbound -- sh -c "touch '$tmp/m'; exec sleep 300" >/dev/null 2>&1 &
m=$!
check "a multi-link run with the firewall rule starts" 'await_file "$tmp/m"'
check "it has a tool and two access point namespaces" '(($(namespaces_of "$m" | wc -l) == 3))'
kill -TERM "$m"
wait "$m"
status=$?
check "SIGTERM ends it with 143 ($status) and leaves no namespace" '((status == 143)) && [[ -z $(namespaces_of $m) ]]'

if command -v setpriv >/dev/null; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "${run[@]}" -- true >"$tmp/user.log" 2>&1
    status=$?
    check "without root it exits 77 ($status) with the reason" \
        '((status == 77)) && grep -q "network namespaces unavailable (needs root)" "$tmp/user.log"'
fi

host_links_after=$(ip -o link show | awk -F': ' '{print $2}' | sort)
check "the calling namespace's interfaces are unchanged" '[[ $host_links_before == "$host_links_after" ]]'

echo "lab-script: $passed passed, $failed failed"
((failed == 0))
