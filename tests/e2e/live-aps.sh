#!/usr/bin/env bash
# The access points of the live-view scenario, run by the lab in the access
# point namespace (--ap-command): at first "stays", "stops" and "moves" (at
# .43); after 8 seconds "stops" is gone, "late" answers, and "moves" answers
# from .44. One simulator at a time holds the device port.
set -u
apsim=${PEMBLOR_LAB_APSIM:?}
"$apsim" --aps 0 --ap ip=198.18.1.40,mac=02:00:00:DD:00:01,ssid=stays \
    --ap ip=198.18.1.41,mac=02:00:00:DD:00:02,ssid=stops \
    --ap ip=198.18.1.43,mac=02:00:00:DD:00:04,ssid=moves &
first=$!
trap 'kill "$first" 2>/dev/null' EXIT TERM
sleep 8
kill "$first"
wait "$first" 2>/dev/null
trap - EXIT TERM
exec "$apsim" --aps 0 --ap ip=198.18.1.40,mac=02:00:00:DD:00:01,ssid=stays \
    --ap ip=198.18.1.42,mac=02:00:00:DD:00:03,ssid=late \
    --ap ip=198.18.1.44,mac=02:00:00:DD:00:04,ssid=moves
