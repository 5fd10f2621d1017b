#!/usr/bin/env bash
# One lab run with the access points a probe mode describes; the probe lists
# them (MODE's argument mode) and checks each one's replies.
# Usage: lab-quirks.sh LAB APSIM PROBE [MODE ARGS-MODE [LAB-OPTION...] [-- PROBE-ARG...]]
# (MODE quirks with ARGS-MODE quirk-args by default).
set -eu
lab=$1 apsim=$2 probe=$3 mode=${4:-quirks} args_mode=${5:-quirk-args}
shift $(($# < 5 ? $# : 5))
lab_options=()
while (($#)) && [[ $1 != -- ]]; do lab_options+=("$1"); shift; done
(($#)) && shift
exec "$lab" --apsim "$apsim" --aps 0 --apsim-args "$("$probe" "$args_mode")" "${lab_options[@]}" -- "$probe" "$mode" "$@"
