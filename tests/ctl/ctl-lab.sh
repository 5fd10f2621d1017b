#!/usr/bin/env bash
# pemblorctl against simulated access points; runs inside a lab made by
# scripts/lab (see tests/ctl/CMakeLists.txt for the lab of each case).
# Usage: ctl-lab.sh CASE PEMBLORCTL
# The checks are strings that check() evaluates later, hence single quotes.
# shellcheck disable=SC2016
set -u
case_name=$1 ctl=$2
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
# Runs pemblorctl with the rest of the line; status in $status, output in
# $tmp/out and $tmp/err, wall time in $ms.
run() {
    local start=$(date +%s%N)
    "$ctl" "$@" >"$tmp/out" 2>"$tmp/err"
    status=$?
    ms=$((($(date +%s%N) - start) / 1000000))
}
show_output() { echo "--- stdout"; head -20 "$tmp/out"; echo "--- stderr"; head -20 "$tmp/err"; }

mac=02:00:00:BB:00:01
case $case_name in
discover)
    run discover --format json
    check "discover exits 0 ($status)" '((status == 0))'
    check "one JSON line per access point" '[[ $(wc -l <"$tmp/out") == 3 ]]'
    check "each with the address it answered from" \
        '[[ $(jq -r .ip "$tmp/out" | sort) == $(sort "$PEMBLOR_LAB_AP_ADDR_FILE") ]]'
    check "three different MACs" '[[ $(jq -r .mac "$tmp/out" | sort -u | wc -l) == 3 ]]'
    check "each heard on the lab link" '[[ $(jq -r .interface "$tmp/out" | sort -u) == "$PEMBLOR_LAB_TOOL_IFACE" ]]'
    check "listened the default 5 s ($ms ms)" '((ms >= 5000 && ms < 8000))'
    run discover --format csv --timeout 1
    check "csv: header and three records" \
        '[[ $(head -1 "$tmp/out") == "mac,ssid,ip,ip_addr,netmask,channel,interface" && $(wc -l <"$tmp/out") == 4 ]]'
    run discover --timeout 1
    check "table: header and three rows" '[[ $(head -1 "$tmp/out") == "MAC ADDRESS"* && $(wc -l <"$tmp/out") == 4 ]]'
    ;;
many)
    run discover --format csv --timeout 15
    check "discover exits 0 ($status)" '((status == 0))'
    tail -n +2 "$tmp/out" | cut -d, -f1 | sort >"$tmp/macs"
    check "every MAC printed exactly once ($(wc -l <"$tmp/macs") lines)" \
        '[[ $(wc -l <"$tmp/macs") == "$PEMBLOR_LAB_AP_COUNT" && $(sort -u "$tmp/macs" | wc -l) == "$PEMBLOR_LAB_AP_COUNT" ]]'
    check "every access point's address listed" \
        '[[ $(tail -n +2 "$tmp/out" | cut -d, -f3 | sort | md5sum) == $(sort "$PEMBLOR_LAB_AP_ADDR_FILE" | md5sum) ]]'
    ;;
show)
    run show "${mac,,}" --format json
    check "show exits 0 ($status)" '((status == 0))'
    check "show reads the four settings" \
        '[[ $(jq -c "[.mac,.ip,.ip_addr,.netmask,.gateway,.dhcp]" "$tmp/out") == "[\"$mac\",\"198.18.1.20\",\"198.18.1.20\",\"255.255.0.0\",\"198.18.0.254\",true]" ]]'
    run show 02:00:00:BB:00:99
    check "show of a device that is not there: exit 4 after 5 s ($status, $ms ms)" \
        '((status == 4 && ms >= 5000 && ms < 8000)) && [[ $(<"$tmp/err") == "Time Out!" ]]'
    ;;
set-reboot)
    run set "$mac" --ip 198.18.1.77 --user admin --password-stdin <<<"wrong"
    check "wrong password: exit 3 with the dialog's message ($status)" \
        '((status == 3)) && [[ $(<"$tmp/err") == "Authentication Error!" ]]'
    run set "$mac" --netmask 255.0.255.0 --user admin --password-stdin <<<"admin"
    check "invalid netmask: exit 1 with the dialog's message ($status)" \
        '((status == 1)) && [[ $(<"$tmp/err") == "Invalid Netmask!" ]]'
    printf 'admin\n' >"$tmp/pw"
    run set "$mac" --ip 198.18.1.77 --user admin --password-file "$tmp/pw"
    check "right password: exit 0 ($status)" '((status == 0))'
    run reboot "$mac" --wait --user admin --password-stdin <<<"admin"
    check "reboot --wait: exit 0 and the new address ($status, $(<"$tmp/out"))" \
        '((status == 0)) && [[ $(<"$tmp/out") == "198.18.1.77" ]]'
    check "reboot --wait: the dialog's 30 s first ($ms ms)" '((ms >= 30000 && ms < 40000))'
    check "reboot --wait: progress on standard error" 'grep -q "query 1 of 9" "$tmp/err"'
    run show "$mac" --format csv
    check "the device answers from its new address" '[[ $(tail -1 "$tmp/out") == "$mac,198.18.1.77,198.18.1.77,"* ]]'
    ;;
timeouts)
    run discover --timeout 2
    check "nobody answers: exit 2 after the time-out, reason on stderr ($status, $ms ms)" \
        '((status == 2 && ms >= 2000 && ms < 4000)) && [[ $(head -1 "$tmp/err") == "Find no devices!" ]] && [[ ! -s "$tmp/out" ]]'
    check "the diagnosis: sent and heard on the link, nobody answered" \
        'grep -q "^Nobody answered: the query was sent and heard on $PEMBLOR_LAB_TOOL_IFACE," "$tmp/err"'
    run set 02:00:00:00:00:01 --dhcp on --user admin --password-stdin <<<"admin"
    check "set without an answer: exit 4 after 10 s ($status, $ms ms)" \
        '((status == 4 && ms >= 10000 && ms < 13000)) && [[ $(<"$tmp/err") == "Time Out!" ]]'
    ;;
links)
    run discover --format json --timeout 2
    check "discover exits 0 ($status)" '((status == 0))'
    check "every access point of every link, once ($(wc -l <"$tmp/out"))" \
        '[[ $(wc -l <"$tmp/out") == $(wc -l <"$PEMBLOR_LAB_AP_IFACE_FILE") ]]'
    check "each with the interface it sits behind" \
        '[[ $(jq -r "[.ip, .interface] | join(\" \")" "$tmp/out" | sort) == $(sort "$PEMBLOR_LAB_AP_IFACE_FILE") ]]'
    # The last access point sits behind the link without the default route.
    read -r far_ip far_iface < <(tail -1 "$PEMBLOR_LAB_AP_IFACE_FILE")
    far_mac=$(jq -r "select(.ip == \"$far_ip\") | .mac" "$tmp/out")
    run show "$far_mac" --format json
    check "show reaches the device behind $far_iface ($status)" \
        '((status == 0)) && [[ $(jq -r .ip "$tmp/out") == "$far_ip" ]]'
    ;;
blocked)
    run discover --timeout 2
    check "inbound blocked: exit 2 ($status)" '((status == 2))'
    check "the diagnosis names the firewall and the link" \
        'grep -q "^Inbound UDP 21212 is blocked on this computer: the query was sent on $PEMBLOR_LAB_TOOL_IFACE," "$tmp/err"'
    ;;
no-interface)
    ip link set "$PEMBLOR_LAB_TOOL_IFACE" down
    run discover --timeout 2
    check "no usable interface: exit 2 ($status, $ms ms)" '((status == 2 && ms < 4000))'
    check "the diagnosis says so" 'grep -q "^No usable network interface" "$tmp/err"'
    ;;
port-taken)
    "$ctl" discover --timeout 4 --format json >"$tmp/first" 2>&1 &
    first=$!
    deadline=$((SECONDS + 10))
    until ss -Hlun "sport = :21212" | grep -q 21212; do ((SECONDS < deadline)) || break; sleep 0.05; done
    run discover
    check "a second copy: exit 5 ($status)" '((status == 5))'
    check "with one line that says so" '[[ $(wc -l <"$tmp/err") == 1 ]] && grep -q "21212 is in use" "$tmp/err"'
    wait "$first"
    first_status=$?
    check "the first copy still lists the devices ($first_status)" \
        '((first_status == 0)) && [[ $(wc -l <"$tmp/first") == 3 ]]'
    ;;
*)
    echo "ctl-lab: unknown case $case_name" >&2
    exit 2
    ;;
esac
((failed == 0)) || show_output
echo "$passed passed, $failed failed"
((failed == 0))
