#!/usr/bin/env bash
# Fails unless every catalogue is up to date with the sources and finished:
# lupdate, run as the update_translations target runs it, would change
# nothing (no new text, none gone), no translation is unfinished, and every
# text is in the context the Qt layer looks marked texts up in, or in a Qt
# class's own (tr() of the Qt layer, Qt's texts the tool keeps).
#
#   check-catalogues.sh LUPDATE WORK_DIR LUPDATE_OPTIONS... -- CATALOGUES... -- SOURCES...
set -euo pipefail

lupdate=$1 work=$2
shift 2
options=()
while [[ $1 != -- ]]; do options+=("$1"); shift; done
shift
catalogues=()
while [[ $1 != -- ]]; do catalogues+=("$1"); shift; done
shift
sources=("$@")

((${#catalogues[@]})) || { echo "catalogues: none found" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
status=0
for catalogue in "${catalogues[@]}"; do
    name=$(basename "$catalogue")
    cp "$catalogue" "$work/$name"
    "$lupdate" -silent "${options[@]}" "${sources[@]}" -ts "$work/$name"
    if ! diff -u "$catalogue" "$work/$name"; then
        echo "catalogues: $name is not up to date with the sources (build the update_translations target)" >&2
        status=1
    fi
    if grep -n 'type="unfinished"' "$catalogue"; then
        echo "catalogues: $name has unfinished translations" >&2
        status=1
    fi
    if grep -n '<name>' "$catalogue" | grep -vE '<name>(Pemblor|pemblor::[A-Z][A-Za-z]*|Q[A-Za-z]*)</name>'; then
        echo "catalogues: $name has texts outside the tool's context" >&2
        status=1
    fi
done
exit "$status"
