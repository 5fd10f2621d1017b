#!/usr/bin/env bash
# pemblorctl's first contact on computers set up as administrators' are;
# runs inside a lab made by scripts/lab (see tests/lab/CMakeLists.txt for the
# lab of each case).
# Usage: lab-contact.sh CASE PEMBLORCTL
# shellcheck disable=SC2016
set -u
case_name=$1 ctl=$2
# shellcheck source=tests/lab/checks.sh
. "$(dirname "$0")/checks.sh"
run() {
    "$ctl" "$@" >"$tmp/out" 2>"$tmp/err"
    status=$?
}
has() { grep -qF -- "$1" "$tmp/${2:-err}"; }
mac=02:00:00:BB:00:01

case $case_name in
bare)
    # lab0 has no address; the fresh device answers by broadcast.
    run discover --format json --timeout 2
    check "discover exits 0 ($status)" '((status == 0))'
    check "the device is listed on lab0" '[[ $(jq -r .interface "$tmp/out") == lab0 ]]'
    printf 'mac,ip,netmask,gateway,dhcp\n%s,198.19.250.50,,,off\n' "$mac" >"$tmp/plan.csv"
    run apply "$tmp/plan.csv" --user admin --password-stdin --reboot --format csv <<<admin
    check "apply --reboot exits 0 ($status)" '((status == 0))'
    check "the device is verified at its new address" 'has "verified" out && has "198.19.250.50" out'
    check "the password's broadcast is warned of" 'has "broadcast to every host on lab0"'
    ;;
strict)
    # Strict filtering; link 2's fresh device at 198.19.250.1 has no route back.
    run discover --format json --timeout 2
    check "discover exits 0 ($status)" '((status == 0))'
    check "the devices with a route back are listed" '[[ $(wc -l <"$tmp/out") == 2 ]] && ! has 198.19.250.1 out'
    check "the drops are a note" 'has "pemblorctl: note: The kernel'"'"'s reverse-path filter dropped"'
    check "naming loose filtering for lab1" 'has "sysctl -w net.ipv4.conf.lab1.rp_filter=2"'
    ;;
loose)
    # Loose filtering and no address: every answer is dropped.
    run discover --timeout 2
    check "discover exits 2 ($status)" '((status == 2))'
    check "the reason is the filter, not the devices" \
        'has "The answers were probably dropped by this computer." && ! has "Nobody answered"'
    check "the way out without an address" 'has "net.ipv4.conf.lab0.rp_filter=0" && has "169.254.10.1/16 dev lab0"'
    ;;
secondary)
    # The device at 198.19.250.1 lies in lab0's secondary network.
    run set "$mac" --gateway 198.19.250.254 --user admin --password-stdin <<<admin
    check "set exits 0 ($status)" '((status == 0))'
    check "the password goes by unicast: no warning" '! has "warning"'
    ;;
nolink)
    run discover --timeout 1
    check "discover exits 2 ($status)" '((status == 2))'
    check "lab0 is named without a link" 'has "lab0 has no link: its cable is out, or its Wi-Fi is not connected."'
    check "nothing was sent on it" '! has "skSend"'
    ;;
bridge)
    run discover --format json --timeout 1
    check "discover exits 0 ($status)" '((status == 0))'
    check "heard on the bridge" '[[ $(jq -r .interface "$tmp/out") == br0 ]]'
    check "one query reached the segment" '(($(grep -c . "$PEMBLOR_LAB_DATAGRAM_LOG") == 1))'
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
if ((failed)); then
    echo "--- stdout"; head -20 "$tmp/out"; echo "--- stderr"; head -20 "$tmp/err"
fi
echo "$passed passed, $failed failed"
((failed == 0))
