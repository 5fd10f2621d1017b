#!/usr/bin/env bash
# The inventory plugin pemblor.ap.discovered with Debian's ansible-core
# against eight sites, each a lab of its own (scripts/lab-sites), site k with
# two simulated access points at 198.18.k.20 upward.
#
# Sites reached over SSH meet a real sshd (Debian's openssh-server), which
# this script starts in lab-sites' control namespace, on 127.0.0.1 only, and
# stops at exit. It listens on one port per site (2201 for site 1, ...); a
# session on port 220k finds, first on its PATH, a pemblorctl that enters
# site k's tool namespace, which is what logging in to that site's host
# would give. The ssh client (the plugin's and Ansible's) reads this run's
# key and known hosts through a wrapper first on PATH.
#
#   inventory.sh LAB_SITES APSIM PEMBLORCTL REPOSITORY
#
# Measures the inventory's time for one site and for eight sites at once.
# Exit status 77 (skipped) without root, ansible-playbook, jq or sshd.
# The checks are strings that check() evaluates later, hence single quotes,
# and variables that only they read.
# shellcheck disable=SC2016,SC2034
set -u

readonly SITES=8 FIRST_PORT=2201 SILENT_PORT=2299

skip() { echo "ansible_lab_inventory: skipped: $*"; exit 77; }

if [[ ${1:-} != --inside ]]; then
    lab_sites=$1 apsim=$2 ctl=$3 repo=$4
    for tool in ansible-inventory ansible-playbook jq ssh ssh-keygen; do
        command -v "$tool" >/dev/null || skip "$tool not found (scripts/bootstrap installs it)"
    done
    [[ -x /usr/sbin/sshd ]] || skip "/usr/sbin/sshd not found (Debian package openssh-server; scripts/bootstrap installs it)"
    site_args=()
    for ((k = 1; k <= SITES; k++)); do
        site_args+=(--site "--aps 2 --apsim-args '--base 198.18.$k.20 --first-number $((k * 10 + 1)) --user admin --pass site-pw --reboot-seconds 2'")
    done
    "$lab_sites" --apsim "$apsim" "${site_args[@]}" -- "$0" --inside "$ctl" "$repo"
    exit $?
fi

# From here on: inside lab-sites' control namespace, which has nothing but a
# loopback. sshd starts only if that is so.
ctl=$(realpath "$2") repo=$(realpath "$3")
[[ -n ${PEMBLOR_CONTROL_NS:-} && $(ip netns identify $$) == "$PEMBLOR_CONTROL_NS" ]] ||
    { echo "inventory.sh: not inside the lab's control namespace; sshd not started" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/pemblor-inventory.XXXXXX")
sshd_pid=
# shellcheck disable=SC2317 # called by the EXIT trap
stop() {
    [[ -n $sshd_pid ]] && kill -TERM "$sshd_pid" 2>/dev/null && wait "$sshd_pid" 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$work/bin" "$work/cp" "$work/tmp"
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key" && ssh-keygen -q -t ed25519 -N '' -f "$work/id" || exit 1
cp "$work/id.pub" "$work/authorized_keys"
{
    echo "ListenAddress 127.0.0.1"
    for ((k = 1; k <= SITES; k++)); do echo "Port $((FIRST_PORT + k - 1))"; done
    cat <<CONF
HostKey $work/host_key
PidFile $work/sshd.pid
AuthorizedKeysFile $work/authorized_keys
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
Subsystem sftp internal-sftp
CONF
    for ((k = 1; k <= SITES; k++)); do
        mkdir -p "$work/site$k"
        ns_var=PEMBLOR_SITE${k}_TOOL_NS
        printf '#!/bin/sh\nexec ip netns exec %s %s "$@"\n' "${!ns_var}" "$ctl" >"$work/site$k/pemblorctl"
        chmod +x "$work/site$k/pemblorctl"
        printf 'Match LocalPort %d\n    SetEnv PATH=%s:/usr/sbin:/usr/bin:/sbin:/bin\n' \
            $((FIRST_PORT + k - 1)) "$work/site$k"
    done
} >"$work/sshd_config"
for ((k = 1; k <= SITES; k++)); do
    echo "[127.0.0.1]:$((FIRST_PORT + k - 1)) $(cut -d' ' -f1,2 "$work/host_key.pub")"
done >"$work/known_hosts"
cat >"$work/ssh_config" <<CONF
Host *
    IdentityFile $work/id
    UserKnownHostsFile $work/known_hosts
    StrictHostKeyChecking yes
CONF
printf '#!/bin/sh\nexec /usr/bin/ssh -F %s "$@"\n' "$work/ssh_config" >"$work/bin/ssh"
chmod +x "$work/bin/ssh"

# sshd's privilege separation directory, which Debian's service makes at start.
[[ -d /run/sshd ]] || mkdir -m 0755 /run/sshd
/usr/sbin/sshd -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
sshd_pid=$!
PATH=$work/bin:$(dirname "$ctl"):$PATH
export PATH
deadline=$((SECONDS + 20))
until ssh -o BatchMode=yes -p "$FIRST_PORT" root@127.0.0.1 true 2>/dev/null; do
    if ((SECONDS >= deadline)) || ! kill -0 "$sshd_pid" 2>/dev/null; then
        echo "inventory.sh: sshd did not let us in:"; cat "$work/sshd.log"; exit 1
    fi
    sleep 0.2
done

export ANSIBLE_COLLECTIONS_PATH=$repo ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false ANSIBLE_SSH_CONTROL_PATH_DIR=$work/cp
export ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp ANSIBLE_RETRY_FILES_ENABLED=false
export ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0 PYTHONDONTWRITEBYTECODE=1 ANSIBLE_HOST_KEY_CHECKING=true
passed=0 failed=0
check() {
    if eval "$2"; then echo "ok   - $1"; ((passed++)); else echo "FAIL - $1"; ((failed++)); fi
}
# sources NAME SITE...: writes $work/NAME.pemblor.yml, a site per argument
# ("name:port").
sources() {
    local file=$work/$1.pemblor.yml site
    shift
    { echo "plugin: pemblor.ap.discovered"; echo "sites:"
      for site in "$@"; do
          printf '  - {name: %s, host: 127.0.0.1, user: root, port: %s}\n' "${site%%:*}" "${site##*:}"
      done; } >"$file"
}
# list NAME: ansible-inventory --list of $work/NAME.pemblor.yml into
# $work/NAME.json, warnings into $work/NAME.err; its seconds in $took.
list() {
    local start=$EPOCHREALTIME
    ansible-inventory -i "$work/$1.pemblor.yml" --list >"$work/$1.json" 2>"$work/$1.err"
    took=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')
}
hosts_of() { jq -r --arg g "$2" '.[$g].hosts // [] | sort | join(" ")' "$work/$1.json"; }
var_of() { jq -r --arg h "$2" --arg v "$3" '._meta.hostvars[$h][$v] | tostring' "$work/$1.json"; }
name_of() { printf 'ap-%s' "$(tr -d : <<<"${1,,}")"; }

# Site 1's devices and the hosts they become (apsim's MACs: 02:00:00:00:00:<number>).
site1_macs=(02:00:00:00:00:0B 02:00:00:00:00:0C)
site1_hosts="$(name_of "${site1_macs[0]}") $(name_of "${site1_macs[1]}")"

echo "plugin: pemblor.ap.discovered" >"$work/here.pemblor.yml"
ip netns exec "$PEMBLOR_SITE1_TOOL_NS" ansible-inventory -i "$work/here.pemblor.yml" --list \
    >"$work/here.json" 2>"$work/here.err"
check "a local site: site 1's devices, in the group pemblor_site_local" \
    '[[ $(hosts_of here pemblor_site_local) == "$site1_hosts" ]]'
check "a local site: the local connection, the address each answered from" \
    '[[ $(var_of here "${site1_hosts%% *}" ansible_connection) == local &&
        $(var_of here "${site1_hosts%% *}" pemblor_ip) == 198.18.1.20 ]]'

sources two alpha:$FIRST_PORT branch-north:$((FIRST_PORT + 1)) gone:$SILENT_PORT
list two
check "over SSH: each site's devices in its group, the name made safe" \
    '[[ $(hosts_of two pemblor_site_alpha) == "$site1_hosts" &&
        $(hosts_of two pemblor_site_branch_north) == "ap-020000000015 ap-020000000016" ]]'
check "over SSH: a device host leads to its site's host" \
    '[[ $(var_of two ap-020000000015 ansible_host):$(var_of two ap-020000000015 ansible_port) == 127.0.0.1:$((FIRST_PORT + 1)) &&
        $(var_of two ap-020000000015 pemblor_site) == branch-north ]]'
check "an unreachable site is a warning with ssh's words" \
    'tr -s "\n " "  " <"$work/two.err" | grep -q "site gone: ssh could not reach 127.0.0.1: .*Connection refused"'
grep -v '^$' "$work/two.err" | head -5

# One device of site 1 moves, by its pemblor_mac, in a play on every device.
play() {
    ansible-playbook -i "$work/two.pemblor.yml" "$(dirname "$0")/playbooks/inventory-move.yml" \
        -e "move_mac=${site1_macs[0]} move_ip=198.18.1.77 ansible_python_interpreter=/usr/bin/python3" \
        >"$work/$1.out" 2>&1
    status=$?
    sed -n '/^PLAY RECAP/,$p' "$work/$1.out"
}
play move
moved=$(name_of "${site1_macs[0]}")
check "a play on pemblor_devices moved the one device, on its site's host over SSH" \
    '((status == 0)) && grep -Eq "^$moved +: .*changed=1 .*failed=0" "$work/move.out" &&
     ! grep -E "^ap-" "$work/move.out" | grep -v "^$moved" | grep -q "changed=[1-9]"'
((status == 0)) || grep -E 'fatal|FAILED|msg|ERROR' "$work/move.out" | head -20

sources one alpha:$FIRST_PORT
list one
one=$took
eight=()
for ((k = 1; k <= SITES; k++)); do eight+=("site$k:$((FIRST_PORT + k - 1))"); done
sources eight "${eight[@]}"
list eight
check "eight sites at once: every site's two devices" \
    '[[ $(jq "._meta.hostvars | length" "$work/eight.json") == $((2 * SITES)) ]]'
check "eight sites take less than twice one site's time (one: ${one} s, eight: ${took} s)" \
    'awk -v one="$one" -v eight="$took" "BEGIN { exit !(eight < 2 * one) }"'

echo "$passed passed, $failed failed"
((failed == 0))
