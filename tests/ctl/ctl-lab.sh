#!/usr/bin/env bash
# pemblorctl against simulated access points; runs inside a lab made by
# scripts/lab (see tests/ctl/CMakeLists.txt for the lab of each case).
# Usage: ctl-lab.sh CASE PEMBLORCTL
# The checks are strings that check() evaluates later, hence single quotes;
# run() takes pemblorctl's command words, "set" among them.
# shellcheck disable=SC2016,SC2034,SC2217
set -u
case_name=$1 ctl=$2
# shellcheck source=tests/lab/checks.sh
. "$(dirname "$0")/../lab/checks.sh"
# Runs pemblorctl with the rest of the line; status in $status, output in
# $tmp/out and $tmp/err, wall time in $ms.
run() {
    local start
    start=$(date +%s%N)
    "$ctl" "$@" >"$tmp/out" 2>"$tmp/err"
    status=$?
    ms=$((($(date +%s%N) - start) / 1000000))
}
show_output() {
    echo "--- stdout"; head -20 "$tmp/out"; echo "--- stderr"; head -20 "$tmp/err"
    [[ -n ${PEMBLOR_LAB_COMMAND_LOG:-} ]] && { echo "--- command log"; cat "$PEMBLOR_LAB_COMMAND_LOG"; }
}
# jq expression $2 over the JSON line of MAC $1 in $tmp/out (one line a device).
of() { jq -r --arg mac "$1" "select(.mac == \$mac) | $2" "$tmp/out"; }
# The simulators' command log (scripts/lab --command-log), sorted.
commands() { sort "$PEMBLOR_LAB_COMMAND_LOG"; }
# The arguments one a line; sorted() sorts them too.
lines() { printf '%s\n' "$@"; }
sorted() { lines "$@" | sort; }

# The datagrams the lab's eavesdropper recorded (scripts/lab --switched) that
# carry $1, one line each: the destination address and the header's MAC.
spied() {
    python3 - "$PEMBLOR_LAB_SPY_PCAP" "$1" <<'PY'
import struct, sys
data, needle = open(sys.argv[1], 'rb').read(), sys.argv[2].encode()
order = '<' if data[:4] in (b'\xd4\xc3\xb2\xa1', b'\x4d\x3c\xb2\xa1') else '>'
at = 24
while at + 16 <= len(data):
    size = struct.unpack(order + 'I', data[at + 8:at + 12])[0]
    frame = data[at + 16:at + 16 + size]
    at += 16 + size
    if needle not in frame or len(frame) < 34:
        continue
    ip = 14
    payload = ip + (frame[ip] & 0x0F) * 4 + 8
    mac = frame[payload + 12:payload + 18]
    print('.'.join(str(b) for b in frame[ip + 16:ip + 20]), ':'.join('%02X' % b for b in mac))
PY
}
# Waits until the eavesdropper has written every frame sent so far: a
# broadcast mark to the discard port, from this (the tool's) namespace.
spy_caught_up() {
    local mark=PEMBLOR-MARK-$RANDOM$RANDOM i
    python3 -c 'import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
s.sendto(sys.argv[1].encode(), ("255.255.255.255", 9))' "$mark"
    for ((i = 0; i < 100; i++)); do
        [[ -n $(spied "$mark") ]] && return 0
        sleep 0.05
    done
    return 1
}
# The simulators' datagram log (scripts/lab --datagram-log).
datagrams() { cat "$PEMBLOR_LAB_DATAGRAM_LOG"; }

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
        '[[ $(head -1 "$tmp/out") == "mac,ssid,ip,ip_addr,netmask,channel,interface,Also at" && $(wc -l <"$tmp/out") == 4 ]]'
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
    check "show reads the four settings into the outcome object" \
        '[[ $(jq -c "[.mac,.result,.ip,.before.ip,.before.netmask,.before.gateway,.before.dhcp,.after == .before]" "$tmp/out") == "[\"$mac\",\"unchanged\",\"198.18.1.20\",\"198.18.1.20\",\"255.255.0.0\",\"198.18.0.254\",true,true]" ]]'
    run show "$mac" --format csv
    check "csv: the detail's header and record" \
        '[[ $(<"$tmp/out") == $(printf "mac,ip,ip_addr,netmask,gateway,dhcp\n$mac,198.18.1.20,198.18.1.20,255.255.0.0,198.18.0.254,on") ]]'
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
    check "set without an answer: exit 4 after the 5 s read ($status, $ms ms)" \
        '((status == 4 && ms >= 5000 && ms < 8000)) && [[ $(<"$tmp/err") == "Time Out!" ]]'
    run set 02:00:00:00:00:01 --dhcp on --timeout 1 --user admin --password-stdin --format json <<<"admin"
    check "with --timeout 1 after one second, JSON: timeout, never heard ($status, $ms ms)" \
        '((status == 4 && ms >= 1000 && ms < 3000)) && [[ $(jq -c "[.result,.ip,.before,.message]" "$tmp/out") == "[\"timeout\",null,null,\"Time Out!\"]" ]]'
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
    # A program that holds the port without sharing it.
    python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("", 21212))
time.sleep(30)' &
    holder=$!
    deadline=$((SECONDS + 10))
    until ss -Hlun "sport = :21212" | grep -q 21212; do ((SECONDS < deadline)) || break; sleep 0.05; done
    run discover
    check "beside it: exit 5 ($status)" '((status == 5))'
    check "with one line that names it ($(<"$tmp/err"))" \
        '[[ $(<"$tmp/err") == "pemblorctl: UDP port 21212 is in use by a program that does not share it: python3 (process $holder)" ]]'
    kill "$holder"
    ;;
copies | copies-broadcast)
    # Copies at once, with the simulator answering by unicast or (the lab's
    # arguments) by broadcast: each lists every device, the Ansible module
    # too.
    "$ctl" discover --timeout 4 --format json >"$tmp/first" 2>&1 &
    first=$!
    PATH=$(dirname "$ctl"):$PATH ANSIBLE_COLLECTIONS_PATH=$(cd "$(dirname "$0")/../.." && pwd) \
        ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false ansible localhost -c local -o -m pemblor.ap.device_info \
        -a timeout=3 >"$tmp/module" 2>&1 &
    module=$!
    run discover --timeout 3 --format json
    wait "$first"
    first_status=$?
    wait "$module"
    module_status=$?
    listed() { [[ $(sed "s/^[^{]*//" "$1" | jq -r "$2" | sort -u | wc -l) == 3 ]]; }
    check "the second copy lists every device ($status)" '((status == 0)) && listed "$tmp/out" .mac'
    check "the first copy too ($first_status)" '((first_status == 0)) && listed "$tmp/first" .mac'
    check "device_info too, where Ansible is installed ($module_status)" \
        '! command -v ansible >/dev/null || { ((module_status == 0)) && listed "$tmp/module" ".devices[].mac"; }'
    check "each device from the address it answered from" \
        '[[ $(jq -r .ip "$tmp/first" | sort) == $(sort "$PEMBLOR_LAB_AP_ADDR_FILE") ]]'
    ;;
beside | beside-broadcast)
    # set and reboot --wait beside other copies: one that listened before
    # (set is then bound last, and the system hands it what is addressed to
    # this computer) and one that starts during reboot --wait's restart wait
    # (which then hears its re-read's answers only through that copy).
    "$ctl" discover --timeout 20 --format json >"$tmp/first" 2>&1 &
    first=$!
    sleep 0.5
    run set "$mac" --ip 198.18.1.77 --user admin --password-stdin <<<"admin"
    check "set beside a listening copy: exit 0 ($status)" '((status == 0))'
    "$ctl" reboot "$mac" --wait --user admin --password-stdin <<<"admin" >"$tmp/reboot" 2>/dev/null &
    reboot=$!
    sleep 25
    run discover --timeout 15 --format json
    wait "$reboot"
    reboot_status=$?
    check "reboot --wait beside them: exit 0 and the new address ($reboot_status, $(<"$tmp/reboot"))" \
        '((reboot_status == 0)) && [[ $(<"$tmp/reboot") == "198.18.1.77" ]]'
    check "the copy that started after it saw the device ($status)" '((status == 0)) && [[ $(jq -r .mac "$tmp/out" | sort -u) == "$mac" ]]'
    wait "$first"
    first_status=$?
    check "the copy that listened throughout heard it ($first_status)" \
        '((first_status == 0)) && [[ $(jq -r .mac "$tmp/first" | sort -u) == "$mac" ]]'
    ;;
reboot-refused)
    # The device holds admin/admin; a restart would keep it silent 2 s.
    run reboot "$mac" --user admin --password-stdin <<<"wrong"
    check "refused reboot: exit 3 with the dialog's message, at once ($status, $ms ms)" \
        '((status == 3 && ms < 2000)) && [[ $(<"$tmp/err") == "Authentication Error!" ]]'
    run reboot "$mac" --wait --user admin --password-stdin <<<"wrong"
    check "refused reboot --wait: exit 3 without the 30 s wait ($status, $ms ms)" \
        '((status == 3 && ms < 5000)) && grep -qx "Authentication Error!" "$tmp/err"'
    run reboot "$mac" --wait --user admin --password-stdin --format json <<<"wrong"
    check "refused reboot --wait, JSON: authentication-error with the message ($status)" \
        '((status == 3)) && [[ $(of "$mac" "[.result, .message] | join(\",\")") == "authentication-error,Authentication Error!" ]]'
    run show "$mac" --timeout 1 --format csv
    check "the device did not restart: it answers at once ($status)" '((status == 0))'
    check "the simulator was asked three times and refused each" \
        '[[ $(commands) == $(sorted "$mac reboot refused" "$mac reboot refused" "$mac reboot refused") ]]'
    run reboot "$mac" --user admin --password-stdin <<<"admin"
    check "accepted reboot without --wait: exit 0 after the 2 s for a refusal ($status, $ms ms)" \
        '((status == 0 && ms >= 1900 && ms < 4000)) && grep -qF "Reboot sent to $mac." "$tmp/out" "$tmp/err"'
    check "and the simulator restarts it" '[[ $(tail -1 "$PEMBLOR_LAB_COMMAND_LOG") == "$mac reboot accepted" ]]'
    ;;
set-zero-mac)
    # Two devices at 198.18.1.20; the first leaves the MAC of its results zero.
    other=02:00:00:BB:00:02
    run set "$mac" --ip 198.18.1.77 --user admin --password-stdin <<<"admin"
    check "set to the zero-MAC device: exit 0 with the dialog's message ($status, $ms ms)" \
        '((status == 0)) && [[ $(<"$tmp/out") == "Change setting successfully!" ]]'
    check "the simulator got one change, for that device, and accepted it" \
        '[[ $(commands) == "$mac set accepted" ]]'
    run set "$other" --netmask 255.255.0.0 --ip 198.18.1.78 --user admin --password-stdin --format json <<<"admin"
    check "set to the device beside it, JSON: stored, before and after ($status)" \
        '((status == 0)) && [[ $(of "$other" "[.result, .ip, .before.ip, .after.ip, .after.netmask, .message] | map(. // \"-\") | join(\",\")") == "stored,198.18.1.20,198.18.1.20,198.18.1.78,255.255.0.0,-" ]]'
    run set "$mac" --ip 198.18.1.77 --user admin --password-stdin <<<"admin"
    check "the same change again: exit 0, nothing to change ($status)" \
        '((status == 0)) && grep -qx "Nothing to change." "$tmp/out" "$tmp/err"'
    run set "$mac" --ip 198.18.1.77 --user admin --password-stdin --format json <<<"admin"
    check "and in JSON: unchanged ($status)" '((status == 0)) && [[ $(of "$mac" .result) == unchanged ]]'
    check "and nothing was sent for them" \
        '[[ $(commands) == $(sorted "$mac set accepted" "$other set accepted") ]]'
    run discover --format json --timeout 2
    check "both report the new addresses, answering from the old one" \
        '[[ $(jq -r "[.mac, .ip, .ip_addr] | join(\" \")" "$tmp/out" | sort) == $(lines "$mac 198.18.1.20 198.18.1.77" "$other 198.18.1.20 198.18.1.78") ]]'
    ;;
reboot-never-return)
    run reboot "$mac" --wait --user admin --password-stdin <<<"admin"
    check "reboot --wait to a device that never returns: exit 4 ($status)" '((status == 4))'
    check "after the 30 s wait and the re-read's 53 s ($ms ms)" '((ms >= 80000 && ms < 100000))'
    check "no address printed as if it had come back, a reason on standard error" \
        '[[ ! -s "$tmp/out" && -s "$tmp/err" ]]'
    check "the simulator accepted the reboot, and nothing else was sent" '[[ $(commands) == "$mac reboot accepted" ]]'
    ;;
plan)
    # lab0 holds 198.18.1.1/24. The three generated devices share
    # 198.19.250.1; DD:00:01 answers from 198.18.1.51; DD:00:02 reports
    # 198.18.1.52 and answers from 198.18.1.53.
    m1=02:00:00:00:00:01 m2=02:00:00:00:00:02 m3=02:00:00:00:00:03
    run plan --from 198.18.1.50 --netmask 255.255.255.0 --timeout 2 "$m3" "$m1" "$m2"
    check "plan exits 0 ($status)" '((status == 0))'
    check "CSV with the plan file's header" '[[ $(head -1 "$tmp/out") == "mac,ip,netmask,gateway,dhcp" ]]'
    check "in the order given, skipping what others answer from or report (.51, .52, .53)" \
        '[[ $(tail -n +2 "$tmp/out" | cut -d, -f1-3) == $(lines "$m3,198.18.1.50,255.255.255.0" "$m1,198.18.1.54,255.255.255.0" "$m2,198.18.1.55,255.255.255.0") ]]'
    check "gateway and DHCP left empty" '[[ $(tail -n +2 "$tmp/out" | cut -d, -f4-5 | sort -u) == "," ]]'
    check "and says what it skipped and why" \
        'grep -qx "pemblorctl: 198.18.1.51 skipped: held by 02:00:00:DD:00:01" "$tmp/err" &&
         grep -qx "pemblorctl: 198.18.1.53 skipped: held by 02:00:00:DD:00:02" "$tmp/err"'
    run plan --from 198.18.1.1 --netmask 255.255.255.0 --gateway 198.18.1.1 --timeout 2 "$m1"
    check "never the gateway, nor this computer's address ($status)" \
        '((status == 0)) && [[ $(tail -n +2 "$tmp/out" | cut -d, -f2) == 198.18.1.2 ]]'
    run plan --from 198.18.1.5 --netmask 255.255.255.0 --gateway 198.18.2.1 --timeout 2 "$m1"
    check "a gateway outside the network: exit 1 with the reason ($status)" \
        '((status == 1)) && grep -q "The gateway 198.18.2.1 is outside the network 198.18.1.0/24" "$tmp/err"'
    run plan --from 198.18.1.64 --netmask 255.255.255.192 --dhcp off --timeout 2 --format json "$m1"
    check "JSON: the /26's network address is skipped, DHCP off ($status)" \
        '((status == 0)) && [[ $(of "$m1" "[.ip, .netmask, .dhcp] | map(tostring) | join(\",\")") == "198.18.1.65,255.255.255.192,false" ]]'
    run plan --from 198.18.1.253 --timeout 2 "$m1" "$m2"
    check "without a netmask the plan stays in lab0's /24 ($status)" \
        '((status == 0)) && [[ $(tail -n +2 "$tmp/out" | cut -d, -f1-2) == $(lines "$m1,198.18.1.253" "$m2,198.18.1.254") ]]'
    run plan --from 198.18.1.253 --timeout 2 "$m1" "$m2" "$m3"
    check "the addresses run out before the broadcast address: exit 1 with a reason ($status)" \
        '((status == 1)) && [[ ! -s "$tmp/out" && -s "$tmp/err" ]]'
    check "planning sent no command" '[[ ! -s "$PEMBLOR_LAB_COMMAND_LOG" ]]'
    ;;
apply)
    # lab0 holds 198.18.1.1/24. CC:00:01..03 share 198.19.250.1 (01 leaves
    # the MAC of its results zero, 03 has other credentials); 04 never
    # returns from its reboot; 05 takes a change at once; 06 already holds
    # its row.
    c1=02:00:00:CC:00:01 c2=02:00:00:CC:00:02 c3=02:00:00:CC:00:03
    c4=02:00:00:CC:00:04 c5=02:00:00:CC:00:05 c6=02:00:00:CC:00:06
    cat >"$tmp/plan.csv" <<PLAN
mac,ip,netmask,gateway,dhcp
$c1,198.18.1.41,255.255.255.0,,off
$c2,198.18.1.42,255.255.255.0,,off
$c3,198.18.1.43,255.255.255.0,,off
$c4,198.18.1.44,255.255.255.0,,off
$c5,198.18.1.45,255.255.255.0,,
$c6,198.18.1.60,255.255.255.0,,
PLAN
    outcomes() { jq -r '"\(.mac) \(.result) \(.ip)"' "$tmp/out" | sort; }

    run apply "$tmp/plan.csv" --dry-run --user admin --password-stdin --format json <<<"admin"
    check "apply --dry-run exits 0 ($status)" '((status == 0))'
    check "it says what would change, one line a device" \
        '[[ $(outcomes) == $(sorted "$c1 would-change 198.19.250.1" "$c2 would-change 198.19.250.1" "$c3 would-change 198.19.250.1" "$c4 would-change 198.18.1.30" "$c5 would-change 198.18.1.31" "$c6 unchanged 198.18.1.60") ]]'
    check "with what it read and what it would write" \
        '[[ $(of "$c1" "[.before.ip, .before.netmask, .after.ip, .after.netmask] | join(\",\")") == "198.19.250.1,255.254.0.0,198.18.1.41,255.255.255.0" ]]'
    check "and the simulators got no command" '[[ ! -s "$PEMBLOR_LAB_COMMAND_LOG" ]]'

    run apply "$tmp/plan.csv" --reboot --user admin --password-stdin --format json <<<"admin"
    check "apply --reboot: exit 8, not every device verified ($status, $ms ms)" '((status == 8))'
    check "about one reboot and the verification's 90 s, not one device after the other" '((ms < 150000))'
    check "each device's outcome" \
        '[[ $(outcomes) == $(sorted "$c1 verified 198.18.1.41" "$c2 verified 198.18.1.42" "$c3 authentication-error 198.19.250.1" "$c4 not-verified 198.18.1.30" "$c5 verified 198.18.1.45" "$c6 unchanged 198.18.1.60") ]]'
    check "the refusal carries the dialog's message" '[[ $(of "$c3" .message) == "Authentication Error!" ]]'
    check "a verified device reports what it holds now" \
        '[[ $(of "$c1" "[.after.ip, .after.netmask, (.after.dhcp | tostring)] | join(\",\")") == "198.18.1.41,255.255.255.0,false" ]]'
    check "progress on standard error" '[[ -s "$tmp/err" ]]'
    check "the simulators: a change and a reboot for each that accepted, one refused change, nothing for 06" \
        '[[ $(commands) == $(sorted "$c1 set accepted" "$c1 reboot accepted" "$c2 set accepted" "$c2 reboot accepted" "$c3 set refused" "$c4 set accepted" "$c4 reboot accepted" "$c5 set accepted" "$c5 reboot accepted") ]]'
    jq -r 'select(.result == "verified" or .result == "unchanged") | .mac' "$tmp/out" >"$tmp/done"
    { head -1 "$tmp/plan.csv"; grep -Ff "$tmp/done" "$tmp/plan.csv"; } >"$tmp/again.csv"

    run discover --format json --timeout 2
    check "discovery agrees: the moved ones answer from their new addresses, 04 is gone" \
        '[[ $(jq -r "\"\(.mac) \(.ip)\"" "$tmp/out" | sort) == $(sorted "$c1 198.18.1.41" "$c2 198.18.1.42" "$c3 198.19.250.1" "$c5 198.18.1.45" "$c6 198.18.1.60") ]]'

    logged=$(wc -l <"$PEMBLOR_LAB_COMMAND_LOG")
    run apply "$tmp/again.csv" --reboot --user admin --password-stdin --format json <<<"admin"
    check "a second apply of the rows that ended well: exit 0 ($status)" '((status == 0))'
    check "every device unchanged" \
        '[[ $(outcomes) == $(sorted "$c1 unchanged 198.18.1.41" "$c2 unchanged 198.18.1.42" "$c5 unchanged 198.18.1.45" "$c6 unchanged 198.18.1.60") ]]'
    check "and nothing sent" '(($(wc -l <"$PEMBLOR_LAB_COMMAND_LOG") == logged))'

    printf 'mac,ip,netmask,gateway,dhcp\n%s,198.18.1.46,255.0.255.0,,\n' "$c6" >"$tmp/bad.csv"
    run apply "$tmp/bad.csv" --user admin --password-stdin --format json <<<"admin"
    check "a row with a bad netmask: invalid with the dialog's message, exit 8 ($status)" \
        '((status == 8)) && [[ $(of "$c6" "[.result, .message] | join(\",\")") == "invalid,Invalid Netmask!" ]]'
    check "and nothing sent" '(($(wc -l <"$PEMBLOR_LAB_COMMAND_LOG") == logged))'
    ;;
undo)
    # lab0 holds 198.18.1.1/24. Three devices move with a reboot, each onto
    # the next one's address (a chain: 13 first, then 12, then 11); the plan
    # undo makes of apply's result is a chain the other way, and puts each
    # back, verified. 11 had DHCP on.
    u1=02:00:00:CC:00:11 u2=02:00:00:CC:00:12 u3=02:00:00:CC:00:13
    lines mac,ip,netmask,gateway,dhcp "$u1,198.18.1.22,255.255.255.0,,off" "$u2,198.18.1.23,,," \
        "$u3,198.18.1.123,255.255.255.128,198.18.1.1," >"$tmp/away.csv"
    outcomes() { jq -r '"\(.mac) \(.result) \(.ip)"' "$tmp/out"; }
    run apply "$tmp/away.csv" --reboot --user admin --password-stdin --format json <<<"admin"
    check "apply --reboot moved all three along the chain, in its order ($status, $ms ms)" \
        '((status == 0)) && [[ $(outcomes) == $(lines "$u3 verified 198.18.1.123" "$u2 verified 198.18.1.23" "$u1 verified 198.18.1.22") ]]'
    cp "$tmp/out" "$tmp/result.json"
    run undo "$tmp/result.json"
    check "undo prints the plan back ($status)" \
        '((status == 0)) && [[ $(tail -n +2 "$tmp/out" | sort) == $(sorted "$u1,198.18.1.21,255.255.0.0,198.18.0.254,on" "$u2,198.18.1.22,255.255.255.0,198.18.1.254,off" "$u3,198.18.1.23,255.255.255.0,198.18.1.254,off") ]]'
    cp "$tmp/out" "$tmp/back.csv"
    run apply "$tmp/back.csv" --reboot --user admin --password-stdin --format json <<<"admin"
    check "applied, every device is verified back at its first address, along the chain ($status, $ms ms)" \
        '((status == 0)) && [[ $(outcomes) == $(lines "$u1 verified 198.18.1.21" "$u2 verified 198.18.1.22" "$u3 verified 198.18.1.23") ]]'
    check "with DHCP on again where it was on" '[[ $(of "$u1" .after.dhcp) == true && $(of "$u2" .after.dhcp) == false ]]'
    ;;
flood)
    # Another host floods the tool: 3,000-byte datagrams to the device port,
    # 300 a second, for as long as the case runs.
    python3 - <<'PY' &
import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
junk = b"\xEE" * 3000
while True:
    s.sendto(junk, ("255.255.255.255", 21212))
    time.sleep(1 / 300)
PY
    flooder=$!
    run discover --format csv --timeout 5
    check "discover under the flood exits 0 ($status)" '((status == 0))'
    check "16384 devices listed ($(($(wc -l <"$tmp/out") - 1)))" '(($(wc -l <"$tmp/out") == 16385))'
    check "the access point itself among them" 'grep -q "^$mac,office,198.18.1.20," "$tmp/out"'
    check "the rest counted and said" \
        'grep -Eq "^Only the first 16384 devices are listed; [0-9]+ more answered\.$" "$tmp/err"'
    run show "$mac" --format json
    check "show under the flood reads the device ($status)" \
        '((status == 0)) && [[ $(jq -r .before.ip "$tmp/out") == 198.18.1.20 ]]'
    kill "$flooder"
    ;;
credentials)
    # A switched segment; lab0 holds 198.18.0.1/24. EE:00:01 at 198.18.0.20
    # is in its network, EE:00:02 at 198.18.1.20 outside it (as a factory-
    # fresh device), EE:00:03 at 198.18.0.21 hears broadcasts only. Each has
    # a password of its own; the eavesdropper records what reaches it.
    in_mac=02:00:00:EE:00:01 out_mac=02:00:00:EE:00:02 deaf_mac=02:00:00:EE:00:03
    anyway=". Run without --unicast-only to send it anyway."
    run set "$in_mac" --gateway 198.18.0.253 --user admin --password-stdin <<<"pw-in-7Qx"
    check "inside: set succeeds, no warning ($status)" \
        '((status == 0)) && [[ $(<"$tmp/out") == "Change setting successfully!" && ! -s "$tmp/err" ]]'
    run reboot "$in_mac" --user admin --password-stdin <<<"pw-in-7Qx"
    check "inside: reboot succeeds, no warning ($status)" '((status == 0)) && [[ ! -s "$tmp/err" ]]'
    spy_caught_up
    check "inside: the eavesdropper saw no frame with its password" '[[ -z $(spied pw-in-7Qx) ]]'
    check "inside: the simulator logged the change and the reboot as unicast" \
        '(($(datagrams | grep -cx "$in_mac command 198.18.0.20 unicast") == 2)) &&
         ! datagrams | grep -q "^$in_mac command .* broadcast"'
    check "inside: each asked by unicast first" '(($(datagrams | grep -cx "$in_mac query 198.18.0.20 unicast") == 2))'
    check "inside: the simulator took both" \
        '[[ $(grep "^$in_mac" "$PEMBLOR_LAB_COMMAND_LOG") == $(lines "$in_mac set accepted" "$in_mac reboot accepted") ]]'

    run set "$out_mac" --gateway 198.18.0.252 --user admin --password-stdin --unicast-only <<<"pw-out-3Kd"
    check "outside, --unicast-only: exit 9 with the reason ($status)" \
        '((status == 9)) && [[ $(<"$tmp/err") == "$out_mac is outside this computer'"'"'s networks: its password would be broadcast to every host on lab0$anyway" ]]'
    run reboot "$out_mac" --user admin --password-stdin --unicast-only <<<"pw-out-3Kd"
    check "outside, reboot --unicast-only: exit 9 ($status)" '((status == 9))'
    spy_caught_up
    check "outside, --unicast-only: no frame anywhere with its password, no command" \
        '[[ -z $(spied pw-out-3Kd) ]] && ! datagrams | grep -q "^$out_mac command"'
    run set "$out_mac" --gateway 198.18.0.252 --user admin --password-stdin <<<"pw-out-3Kd"
    check "outside: the change succeeds with the warning first ($status)" \
        '((status == 0)) && [[ $(<"$tmp/err") == "pemblorctl: warning: $out_mac is outside this computer'"'"'s networks: its password will be broadcast to every host on lab0." ]]'
    spy_caught_up
    check "outside: its password went by broadcast, and the eavesdropper saw it" \
        '[[ $(spied pw-out-3Kd) == "255.255.255.255 $out_mac" ]] &&
         datagrams | grep -qx "$out_mac command 255.255.255.255 broadcast"'

    run set "$deaf_mac" --gateway 198.18.0.251 --user admin --password-stdin --unicast-only <<<"pw-deaf-9Lm"
    check "broadcast only, --unicast-only: exit 9 after the 1 s question ($status, $ms ms)" \
        '((status == 9 && ms >= 1000)) && [[ $(<"$tmp/err") == "$deaf_mac does not answer by unicast: its password would be broadcast to every host on lab0$anyway" ]]'
    spy_caught_up
    check "broadcast only, --unicast-only: no frame with its password" '[[ -z $(spied pw-deaf-9Lm) ]]'
    run set "$deaf_mac" --gateway 198.18.0.251 --user admin --password-stdin <<<"pw-deaf-9Lm"
    check "broadcast only: falls back with the warning ($status)" \
        '((status == 0)) && [[ $(<"$tmp/err") == "pemblorctl: warning: $deaf_mac does not answer by unicast: its password will be broadcast to every host on lab0." ]]'
    check "broadcast only: the change went by broadcast" \
        'datagrams | grep -qx "$deaf_mac command 255.255.255.255 broadcast"'
    ;;
credentials-apply)
    # A switched segment; lab0 holds 198.18.0.1/24. One password for all:
    # FF:00:01 and 02 alone in lab0's network, 03 and 04 sharing 198.18.0.30
    # in it, 05 and 06 outside it. Each moves to 198.18.0.4x with a reboot.
    password=pw-fleet-4Tz
    cat >"$tmp/plan.csv" <<PLAN
mac,ip,netmask,gateway,dhcp
02:00:00:FF:00:01,198.18.0.41,255.255.255.0,,off
02:00:00:FF:00:02,198.18.0.42,255.255.255.0,,off
02:00:00:FF:00:03,198.18.0.43,255.255.255.0,,off
02:00:00:FF:00:04,198.18.0.44,255.255.255.0,,off
02:00:00:FF:00:05,198.18.0.45,255.255.255.0,,off
02:00:00:FF:00:06,198.18.0.46,255.255.255.0,,off
PLAN
    run apply "$tmp/plan.csv" --reboot --user admin --password-stdin --format json <<<"$password"
    spy_caught_up
    frames=$(spied "$password")
    echo "eavesdropper: $(grep -c . <<<"$frames") frames carrying the password"
    check "apply: exit 0, every device verified at its planned address ($status)" \
        '((status == 0)) && [[ $(jq -r "\"\(.mac) \(.result) \(.ip)\"" "$tmp/out" | sort) == $(for n in 1 2 3 4 5 6; do echo "02:00:00:FF:00:0$n verified 198.18.0.4$n"; done) ]]'
    check "the eavesdropper saw the password only in the broadcast change and reboot of the outside and shared devices" \
        '[[ $(sort <<<"$frames") == $(for n in 3 3 4 4 5 5 6 6; do echo "255.255.255.255 02:00:00:FF:00:0$n"; done) ]]'
    check "a warning for each of those, none for the others" \
        '[[ $(grep -o "warning: 02:00:00:FF:00:0[0-9] [a-z]*" "$tmp/err" | sort) == $(lines "warning: 02:00:00:FF:00:03 shares" "warning: 02:00:00:FF:00:04 shares" "warning: 02:00:00:FF:00:05 is" "warning: 02:00:00:FF:00:06 is") ]]'
    check "the devices alone in the network: their change and reboot by unicast" \
        '(($(datagrams | grep -c "^02:00:00:FF:00:0[12] command 198.18.0.2[01] unicast$") == 4))'
    ;;
segment)
    # Two interfaces of this computer into one switched segment: lab0 holds
    # 198.18.0.1/24, lab2 198.18.0.3/24, so that every broadcast goes out and
    # comes back on both. 5E:00:01..03 share the factory address 198.19.250.1
    # and leave the MAC of their results zero; 02 has other credentials.
    s1=02:00:00:5E:00:01 s2=02:00:00:5E:00:02 s3=02:00:00:5E:00:03
    # The interfaces on which a broadcast from the access point host arrives
    # (IP_PKTINFO is 8).
    heard=$(python3 - <<'PY'
import os, socket, struct, subprocess
r = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
r.setsockopt(socket.IPPROTO_IP, 8, 1)
r.bind(("0.0.0.0", 9))
subprocess.run(["ip", "netns", "exec", os.environ["PEMBLOR_LAB_AP_NS"], "python3", "-c",
                "import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); "
                "s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1); "
                "s.sendto(b'PEMBLOR-SEGMENT', ('255.255.255.255', 9))"], check=True)
r.settimeout(1)
try:
    while True:
        _, ancillary, _, _ = r.recvmsg(64, 64)
        print(socket.if_indextoname(struct.unpack("i", ancillary[0][2][:4])[0]))
except socket.timeout:
    pass
PY
)
    check "the lab: a device's broadcast arrives on lab0 and on lab2" '[[ $(sort <<<"$heard") == $(lines lab0 lab2) ]]'
    run discover --format json --timeout 2
    check "discover over both interfaces: each device once ($status)" \
        '((status == 0)) && [[ $(jq -r "\"\(.mac) \(.ip)\"" "$tmp/out" | sort) == $(sorted "$s1 198.19.250.1" "$s2 198.19.250.1" "$s3 198.19.250.1") ]]'
    check "each heard on one of the two interfaces" \
        '[[ -z $(jq -r .interface "$tmp/out" | grep -vxE "lab0|lab2") ]]'
    cat >"$tmp/plan.csv" <<PLAN
mac,ip,netmask,gateway,dhcp
$s1,198.18.0.41,255.255.255.0,,off
$s2,198.18.0.42,255.255.255.0,,off
$s3,198.18.0.43,255.255.255.0,,off
PLAN
    run apply "$tmp/plan.csv" --reboot --user admin --password-stdin --format json <<<"admin"
    echo "apply --reboot took $ms ms"
    cp "$tmp/out" "$tmp/apply.out"
    cp "$tmp/err" "$tmp/apply.err"
    check "apply --reboot: exit 8, one device refused ($status)" '((status == 8))'
    check "verified, authentication-error, verified, each at its own address" \
        '[[ $(jq -r "\"\(.mac) \(.result) \(.ip)\"" "$tmp/out" | sort) == $(sorted "$s1 verified 198.18.0.41" "$s2 authentication-error 198.19.250.1" "$s3 verified 198.18.0.43") ]]'
    check "the refusal carries the dialog's message" '[[ $(of "$s2" .message) == "Authentication Error!" ]]'
    check "well before the 90 s a lost refusal would take ($ms ms)" '((ms < 60000))'
    check "each command reached its device once: two changes and reboots taken, one change refused" \
        '[[ $(commands) == $(sorted "$s1 set accepted" "$s1 reboot accepted" "$s2 set refused" "$s3 set accepted" "$s3 reboot accepted") ]]'
    run discover --format json --timeout 2
    check "discovery agrees: the two moved, the refused one stayed" \
        '[[ $(jq -r "\"\(.mac) \(.ip)\"" "$tmp/out" | sort) == $(sorted "$s1 198.18.0.41" "$s2 198.19.250.1" "$s3 198.18.0.43") ]]'
    if ((failed > 0)); then
        echo "--- apply's stdout"; cat "$tmp/apply.out"; echo "--- apply's stderr"; cat "$tmp/apply.err"
        echo "--- datagrams the simulators received"; datagrams
    fi
    ;;
*)
    echo "ctl-lab: unknown case $case_name" >&2
    exit 2
    ;;
esac
((failed == 0)) || show_output
echo "$passed passed, $failed failed"
((failed == 0))
