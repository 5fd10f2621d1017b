#!/usr/bin/env bash
# The collection with Debian's ansible-core against two sites, each a lab of
# its own (scripts/lab-sites): site "alpha" with three simulated access
# points, site "beta" with four. The inventory's hosts are the sites' tool
# namespaces, reached with ansible_connection=local and an interpreter that
# enters the namespace. Every command a simulator receives is logged on its
# side (apsim --command-log), so "nothing was sent" is checked where it counts.
#
#   sites.sh LAB_SITES APSIM PEMBLORCTL REPOSITORY
#
# Exit status 77 (skipped) without root, without ansible-playbook or jq, or
# while the simulator or the pemblorctl under test lack what the collection
# needs (a command log; set/reboot --format json, plan, apply).
# The checks are strings that check() evaluates later, hence single quotes.
# shellcheck disable=SC2016
set -u

skip() { echo "ansible_lab_sites: skipped: $*"; exit 77; }

if [[ ${1:-} != --inside ]]; then
    lab_sites=$1 apsim=$2 ctl=$3 repo=$4
    for tool in ansible-playbook jq; do
        command -v "$tool" >/dev/null || skip "$tool not found (scripts/bootstrap installs it)"
    done
    # The simulator only parses its options here; it sends nothing.
    "$apsim" --help 2>&1 | grep -q -- '--command-log' || skip "apsim has no --command-log yet"
    logs=$(mktemp -d "${TMPDIR:-/tmp}/pemblor-sites.XXXXXX")
    trap 'rm -rf "$logs"' EXIT
    common="--reboot-seconds 2 --user admin"
    "$lab_sites" --apsim "$apsim" \
        --site "--aps 3 --apsim-args '--base 198.18.1.20 --first-number 1 --pass alpha-pw $common --command-log $logs/alpha.log'" \
        --site "--aps 4 --apsim-args '--base 198.18.2.20 --first-number 11 --pass beta-pw $common --command-log $logs/beta.log'" \
        -- "$0" --inside "$ctl" "$repo" "$logs"
    exit $?
fi

# From here on: inside lab-sites' control namespace, which has no network.
ctl=$(realpath "$2") repo=$(realpath "$3") logs=$4
lacking=()
"$ctl" plan --help 2>&1 | grep -q -- '--from' || lacking+=("plan")
"$ctl" apply --help 2>&1 | grep -q -- '--dry-run' || lacking+=("apply")
"$ctl" set --help 2>&1 | grep -q json || lacking+=("set --format json")
"$ctl" reboot --help 2>&1 | grep -q -- '--format' || lacking+=("reboot --format json")
((${#lacking[@]} == 0)) || skip "the pemblorctl under test ($ctl) lacks: ${lacking[*]}"

work=$(mktemp -d "${TMPDIR:-/tmp}/pemblor-play.XXXXXX")
trap 'rm -rf "$work"' EXIT
playbooks=$(cd "$(dirname "$0")/playbooks" && pwd)
export PATH=$(dirname "$ctl"):$PATH
export ANSIBLE_COLLECTIONS_PATH=$repo ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false
export ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp ANSIBLE_RETRY_FILES_ENABLED=false
export ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0 PYTHONDONTWRITEBYTECODE=1
passed=0 failed=0
check() {
    if eval "$2"; then echo "ok   - $1"; ((passed++)); else echo "FAIL - $1"; ((failed++)); fi
}

mkdir -p "$work/host_vars"
cat >"$work/inventory" <<INI
[sites]
alpha ansible_connection=local ansible_python_interpreter="ip netns exec $PEMBLOR_SITE1_TOOL_NS /usr/bin/python3"
beta ansible_connection=local ansible_python_interpreter="ip netns exec $PEMBLOR_SITE2_TOOL_NS /usr/bin/python3"

[sites:vars]
ap_user=admin
out_dir=$work
INI
# host_vars(HOST PASSWORD ADDRESSES...) writes the host's variables; the
# device choices are added once discovery has named them.
host_vars() {
    local host=$1 password=$2
    shift 2
    { echo "ap_password: $password"; echo "expected_addrs: [$(printf '"%s",' "$@" | sed 's/,$//')]"; } >"$work/host_vars/$host.yml"
}
# shellcheck disable=SC2086 # the lab's address lists
{ host_vars alpha alpha-pw $PEMBLOR_SITE1_AP_ADDRS; host_vars beta beta-pw $PEMBLOR_SITE2_AP_ADDRS; }

# play NAME PLAYBOOK [ARGS]: status in $status, output in $work/NAME.out, the
# recap printed.
play() {
    local name=$1 book=$2
    shift 2
    ansible-playbook -i "$work/inventory" "$playbooks/$book" "$@" >"$work/$name.out" 2>&1
    status=$?
    echo "--- $name: ansible-playbook $book $* (exit $status)"
    sed -n '/^PLAY RECAP/,$p' "$work/$name.out"
}
recap() { sed -n "s/^$2 *: .*changed=\([0-9]*\).*failed=\([0-9]*\).*/changed=\1 failed=\2/p" "$work/$1.out"; }
show_failure() { ((status == 0)) || grep -E 'fatal|FAILED|msg|ERROR' "$work/$1.out" | head -20; }
log_lines() { cat "$logs/$1.log" 2>/dev/null; }
mac_at() { jq -r --arg ip "$2" '.[] | select(.ip == $ip) | .mac' "$work/$1.json"; }

play discover discover.yml
show_failure discover
check "device_info: each site lists its own devices, and only those" \
    '((status == 0)) && [[ $(recap discover alpha) == "changed=0 failed=0" && $(recap discover beta) == "changed=0 failed=0" ]]'
check "the two sites' devices differ" \
    '[[ -z $(comm -12 <(jq -r ".[].mac" "$work/alpha.json" | sort) <(jq -r ".[].mac" "$work/beta.json" | sort)) ]]'

alpha_mac=$(mac_at alpha 198.18.1.20) other_mac=$(mac_at alpha 198.18.1.21) beta_mac=$(mac_at beta 198.18.2.20)
renumber=()
for ip in 198.18.2.21 198.18.2.22 198.18.2.23; do renumber+=("$(mac_at beta "$ip")"); done
{ echo "move_mac: \"$alpha_mac\""; echo "move_ip: 198.18.1.77"; echo "other_mac: \"$other_mac\""; } >>"$work/host_vars/alpha.yml"
{ echo "move_mac: \"$beta_mac\""; echo "move_ip: 198.18.2.77"
  echo "renumber_macs: [$(printf '"%s",' "${renumber[@]}" | sed 's/,$//')]"; } >>"$work/host_vars/beta.yml"

play check move.yml --check --diff
show_failure check
check "device_address --check: changed on both sites" \
    '((status == 0)) && [[ $(recap check alpha) == "changed=1 failed=0" && $(recap check beta) == "changed=1 failed=0" ]]'
check "device_address --check --diff shows the new address" 'grep -q "198.18.1.77" "$work/check.out"'
check "device_address --check: no command reached a simulator" '[[ -z $(log_lines alpha)$(log_lines beta) ]]'

play move move.yml
show_failure move
check "device_address: one device per site moved and verified" \
    '((status == 0)) && [[ $(recap move alpha) == "changed=1 failed=0" && $(recap move beta) == "changed=1 failed=0" ]]'
sent_alpha=$(printf '%s set accepted\n%s reboot accepted' "$alpha_mac" "$alpha_mac")
sent_beta=$(printf '%s set accepted\n%s reboot accepted' "$beta_mac" "$beta_mac")
check "alpha's simulator got a change and a reboot for that device only" '[[ $(log_lines alpha) == "$sent_alpha" ]]'
check "beta's simulator got a change and a reboot for that device only" '[[ $(log_lines beta) == "$sent_beta" ]]'

play again move.yml
show_failure again
check "device_address, second run: changed=0 on both hosts" \
    '((status == 0)) && [[ $(recap again alpha) == "changed=0 failed=0" && $(recap again beta) == "changed=0 failed=0" ]]'
check "second run: nothing more was sent" '[[ $(log_lines alpha | wc -l) == 2 && $(log_lines beta | wc -l) == 2 ]]'

play refused wrong-password.yml
show_failure refused
check "wrong password: fails with \"Authentication Error!\" naming the device" \
    '((status == 0)) && grep -q "$other_mac: Authentication Error!" "$work/refused.out"'
check "wrong password: the simulator refused the change" '[[ $(log_lines alpha | tail -n 1) == "$other_mac set refused" ]]'
check "no password in any output" '! grep -qE "alpha-pw|beta-pw|not-the-password" "$work"/*.out'

play readdress readdress.yml
show_failure readdress
check "readdress: three devices at beta moved with a reboot and verified" \
    '((status == 0)) && [[ $(recap readdress beta) == "changed=1 failed=0" ]]'
host_vars beta beta-pw 198.18.2.77 198.18.3.10 198.18.3.11 198.18.3.12
host_vars alpha alpha-pw 198.18.1.77 198.18.1.21 198.18.1.22
play final discover.yml
show_failure final
check "device_info afterwards: every device where it was moved to" '((status == 0))'

echo "$passed passed, $failed failed"
((failed == 0))
