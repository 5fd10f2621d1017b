#!/usr/bin/env bash
# The lab's switched segment, inside scripts/lab --switched --datagram-log
# with two simulated access points, the second with --broadcast-only (see
# tests/lab/CMakeLists.txt): a unicast datagram reaches its access point
# alone and not the eavesdropper, a broadcast reaches all three, the
# simulators log each datagram's destination, and the broadcast-only access
# point answers a broadcast but not a unicast.
# Usage: lab-switch.sh HEARS-UNICAST BROADCAST-ONLY
set -u
hears=$1 deaf=$2
passed=0 failed=0
check() {
    if eval "$2"; then echo "ok   - $1"; ((passed++)); else echo "FAIL - $1"; ((failed++)); fi
}
# Prints the addresses that answered the request sent to $1 (a discovery
# query with no entries), one a line, within 1 s; then sends the two marks.
answers=$(python3 - "$hears" "$deaf" <<'PY'
import socket, struct, sys, time
query = struct.pack('>III6s32s32sH', 0xA1B2C3D4, 0xA1B2C3D4, 0, bytes(6), b'', b'', 0)
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
s.bind(('0.0.0.0', 21212))
def ask(to):
    s.sendto(query, (to, 21212))
    heard, end = [], time.monotonic() + 1
    while time.monotonic() < end:
        s.settimeout(max(end - time.monotonic(), 0.01))
        try:
            data, (sender, _) = s.recvfrom(4096)
        except socket.timeout:
            break
        if len(data) >= 12 and struct.unpack('>I', data[8:12])[0] != 0:
            heard.append(sender)
    return ' '.join(sorted(heard)) or '-'
for to in (sys.argv[1], sys.argv[2], '255.255.255.255'):
    print(to, ask(to))
s.sendto(b'PEMBLOR-UNICAST-MARK', (sys.argv[1], 21212))
s.sendto(b'PEMBLOR-BROADCAST-MARK', ('255.255.255.255', 21212))
PY
)
echo "$answers"
check "a unicast query is answered by its access point" '[[ $(grep "^$hears " <<<"$answers") == "$hears $hears" ]]'
check "a broadcast-only access point does not answer a unicast query" '[[ $(grep "^$deaf " <<<"$answers") == "$deaf -" ]]'
check "both answer a broadcast" '[[ $(grep "^255" <<<"$answers") == "255.255.255.255 $hears $deaf" ]]'

log() { sort "$PEMBLOR_LAB_DATAGRAM_LOG"; }
check "the simulators log each destination" \
    'log | grep -qx "00:00:00:00:00:00 query $hears unicast" && log | grep -qx "00:00:00:00:00:00 query $deaf unicast" &&
     log | grep -qx "00:00:00:00:00:00 query 255.255.255.255 broadcast"'

# The capture is written frame by frame; wait for the last frame sent.
spy() { tcpdump -r "$PEMBLOR_LAB_SPY_PCAP" -n -A "$@" 2>/dev/null; }
for ((i = 0; i < 100; i++)); do spy | grep -q BROADCAST-MARK && break; sleep 0.05; done
check "the eavesdropper sees the broadcasts" 'spy | grep -q BROADCAST-MARK'
check "and no unicast datagram to an access point" \
    '! spy | grep -q UNICAST-MARK && [[ -z $(spy "udp and dst host ($hears or $deaf)") ]]'
((failed == 0)) || { echo "--- datagram log"; log; echo "--- eavesdropper"; tcpdump -r "$PEMBLOR_LAB_SPY_PCAP" -n 2>/dev/null; }
echo "$passed passed, $failed failed"
((failed == 0))
