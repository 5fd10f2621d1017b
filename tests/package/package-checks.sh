#!/usr/bin/env bash
# Checks of the Debian package, one step per call (each a ctest test):
#
#   package-checks.sh build BUILD_DIR OUT_DIR VERSION
#       CPack into OUT_DIR; the file must be pemblor_VERSION_ARCH.deb; it is
#       extracted with dpkg-deb -x into OUT_DIR/root
#   package-checks.sh lintian OUT_DIR
#   package-checks.sh desktop OUT_DIR       desktop-file-validate
#   package-checks.sh appstream OUT_DIR     appstreamcli validate --no-net
#   package-checks.sh ctl-help OUT_DIR EXPECTED
#       runs the packaged pemblorctl --help (in a lab namespace: the test
#       starts it through scripts/lab); EXPECTED 1 when the build has a
#       pemblorctl target, so that a package without it fails instead of
#       skipping
#
# Exit status 77 (skipped) when a needed Debian tool is missing.
set -euo pipefail

checks=package
source "$(dirname "${BASH_SOURCE[0]}")/../support/need.sh"

# Fails on any line of warning or error weight in the output of "$@", even
# when the tool's exit status lets it pass.
strict() {
    local output status=0
    output=$("$@" 2>&1) || status=$?
    [[ -n $output ]] && printf '%s\n' "$output"
    ((status == 0)) || return "$status"
    ! grep -qiE '(^|[: ])(error|warning)s?:|^[EW]: ' <<<"$output"
}

the_deb() {
    local debs=("$1"/pemblor_*.deb)
    [[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "package: no single pemblor_*.deb in $1" >&2; exit 1; }
    echo "${debs[0]}"
}

step=${1:?usage: package-checks.sh STEP ...}
shift
case $step in
build)
    build=$1 out=$2 version=$3
    need cpack dpkg-deb dpkg-shlibdeps file
    rm -rf "$out"
    mkdir -p "$out"
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out"
    deb=$out/pemblor_${version}_$(dpkg --print-architecture).deb
    [[ -f $deb ]] || { echo "package: expected $deb; made: $(ls "$out")" >&2; exit 1; }
    dpkg-deb --info "$deb"
    dpkg-deb --contents "$deb"
    dpkg-deb -x "$deb" "$out/root"
    ;;
lintian)
    need lintian
    # As root lintian says it would rather not be; that note is all it says
    # on stderr when the package is clean.
    deb=$(the_deb "$1")
    strict lintian --fail-on error,warning --info "$deb"
    ;;
desktop)
    need desktop-file-validate
    entries=("$1"/root/usr/share/applications/*.desktop)
    [[ -f ${entries[0]} ]] || { echo "package: no desktop entry" >&2; exit 1; }
    strict desktop-file-validate "${entries[@]}"
    ;;
appstream)
    need appstreamcli
    files=("$1"/root/usr/share/metainfo/*.metainfo.xml)
    [[ -f ${files[0]} ]] || { echo "package: no metainfo file" >&2; exit 1; }
    strict appstreamcli validate --no-net --explain "${files[@]}"
    ;;
ctl-help)
    out=$1 expected=$2
    ctl=$out/root/usr/bin/pemblorctl
    if [[ ! -x $ctl ]]; then
        ((expected)) && { echo "package: pemblorctl is built but not in the package" >&2; exit 1; }
        echo "package: this build has no pemblorctl"
        exit 77
    fi
    help=$("$ctl" --help)
    printf '%s\n' "$help"
    [[ $help == *pemblorctl* ]] || { echo "package: pemblorctl --help does not name the program" >&2; exit 1; }
    ;;
*)
    echo "package-checks.sh: unknown step $step" >&2
    exit 2
    ;;
esac
