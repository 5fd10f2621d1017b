#!/usr/bin/env bash
# One lab run with an access point per simulator quirk; the probe lists the
# access points it expects and checks each one's replies.
# Usage: lab-quirks.sh LAB APSIM PROBE
set -eu
lab=$1 apsim=$2 probe=$3
exec "$lab" --apsim "$apsim" --aps 0 --apsim-args "$("$probe" quirk-args)" -- "$probe" quirks
