#!/usr/bin/env bash
# Checks of the Ansible collection pemblor.ap, one step per call (each a ctest
# test). Nothing here starts pemblorctl: the plugins run against a scripted one.
#
#   collection-checks.sh doc COLLECTION_DIR
#       ansible-doc shows each module with its options, examples and return
#       values, and the inventory plugin with its options and examples
#   collection-checks.sh units COLLECTION_DIR
#       the modules' unit tests (pytest, run_command scripted) and the
#       inventory plugin's (on recorded pemblorctl output)
#   collection-checks.sh sanity COLLECTION_DIR
#       ansible-test sanity on a copy of the collection in a scratch
#       ansible_collections tree, with what runs offline (see below)
#   collection-checks.sh package ROOT
#       the collection in the Debian package's files extracted into ROOT:
#       where Debian's ansible-core looks, with ansible-galaxy's manifest,
#       and shown by ansible-doc from there
#
# Exit status 77 (skipped) when a needed Debian tool is missing.
set -euo pipefail

# Debian's interpreter, which has ansible-core and the linters; a python3
# earlier in PATH (pyenv, a venv) may have neither.
readonly PYTHON=/usr/bin/python3
readonly MODULES=(device_info device_address readdress)
readonly INVENTORIES=(discovered)
readonly SANITY_UTIL=/usr/lib/python3/dist-packages/ansible_test/_util/controller/sanity

checks=ansible
source "$(dirname "${BASH_SOURCE[0]}")/../support/need.sh"
need_module() {
    "$PYTHON" -c "import $1" 2>/dev/null || { echo "ansible: Python module $1 not found (Debian package $2)" >&2; exit 77; }
}

# Copies the collection into a scratch ansible_collections tree; sets tree.
scratch_copy() {
    tree=$(mktemp -d "${TMPDIR:-/tmp}/pemblor-collection.XXXXXX")
    trap 'rm -rf "$tree"' EXIT
    mkdir -p "$tree/ansible_collections/pemblor"
    cp -r "$1" "$tree/ansible_collections/pemblor/ap"
    find "$tree" \( -name __pycache__ -o -name output \) -prune -exec rm -rf {} +
}

step=${1:?usage: collection-checks.sh STEP COLLECTION_DIR}
collection=$(realpath "${2:?usage: collection-checks.sh STEP DIRECTORY}")
export PYTHONDONTWRITEBYTECODE=1 ANSIBLE_NOCOLOR=1
case $step in
doc)
    need ansible-doc
    scratch_copy "$collection"
    export ANSIBLE_COLLECTIONS_PATH=$tree
    failed=0
    for module in "${MODULES[@]}"; do
        text=$(ansible-doc "pemblor.ap.$module") || { echo "FAIL - ansible-doc pemblor.ap.$module"; failed=1; continue; }
        # ansible-doc prints what it could parse; each of the three parts
        # must be there and not empty.
        parts=$(ansible-doc --json "pemblor.ap.$module" | "$PYTHON" -c '
import json, sys
doc = json.load(sys.stdin)[sys.argv[1]]
print(bool(doc["doc"].get("options")), bool(doc["examples"].strip()), bool(doc["return"]))' "pemblor.ap.$module")
        if [[ $parts == "True True True" && $text == *"OPTIONS"* && $text == *"EXAMPLES:"* && $text == *"RETURN VALUES:"* ]]; then
            echo "ok   - ansible-doc pemblor.ap.$module: options, examples, return values"
        else
            echo "FAIL - ansible-doc pemblor.ap.$module lacks a part ($parts)"; failed=1
        fi
    done
    for plugin in "${INVENTORIES[@]}"; do
        parts=$(ansible-doc -t inventory --json "pemblor.ap.$plugin" | "$PYTHON" -c '
import json, sys
doc = json.load(sys.stdin)[sys.argv[1]]
options = doc["doc"].get("options", {})
print(all(name in options for name in ("plugin", "sites", "compose", "keyed_groups", "cache")),
      bool(doc["examples"].strip()))' "pemblor.ap.$plugin") || parts=
        if [[ $parts == "True True" ]]; then
            echo "ok   - ansible-doc -t inventory pemblor.ap.$plugin: options with the fragments', examples"
        else
            echo "FAIL - ansible-doc -t inventory pemblor.ap.$plugin lacks a part ($parts)"; failed=1
        fi
    done
    listed=$(ansible-doc -l pemblor.ap | awk '{print $1}' | sort | tr '\n' ' ')
    [[ $listed == "pemblor.ap.device_address pemblor.ap.device_info pemblor.ap.readdress " ]] ||
        { echo "FAIL - ansible-doc -l pemblor.ap lists: $listed"; failed=1; }
    exit "$failed"
    ;;
units)
    need_module pytest python3-pytest
    need_module ansible ansible-core
    cd "$collection"
    exec "$PYTHON" -m pytest -p no:cacheprovider -q tests/unit
    ;;
sanity)
    need ansible-test
    # ansible-test gives each of these tests a virtual environment of its
    # own, into which it installs pip and pinned tool versions downloaded
    # from the internet; offline, that cannot work, so they are skipped:
    #   ansible-doc, import, pep8, pylint, runtime-metadata, validate-modules,
    #   yamllint
    # Every other sanity test runs (compile, shebang, future-import- and
    # metaclass-boilerplate, line-endings, no-smart-quotes, the no-* and
    # use-* checks, action-plugin-docs, changelog, empty-init, ignores,
    # symlinks; pslint and shellcheck find nothing of theirs to check).
    # Below ansible-test, the same tools that back validate-modules, pep8,
    # yamllint and runtime-metadata run from Debian's packages with
    # ansible-test's settings; ansible-doc is the "doc" step. Still skipped:
    # pylint (ansible-test pins its own pylint and loads plugins written for
    # that version) and import (it needs an isolated virtual environment).
    offline_skips=(ansible-doc import pep8 pylint runtime-metadata validate-modules yamllint)
    need_module voluptuous python3-voluptuous
    need_module yamllint yamllint
    need pycodestyle
    scratch_copy "$collection"
    cd "$tree/ansible_collections/pemblor/ap"
    export ANSIBLE_COLLECTIONS_PATH=$tree
    skip_args=()
    for test in "${offline_skips[@]}"; do skip_args+=(--skip-test "$test"); done
    failed=0
    echo "== ansible-test sanity (skipped offline: ${offline_skips[*]})"
    ansible-test sanity --python-interpreter "$PYTHON" --color no "${skip_args[@]}" || failed=1

    mapfile -t modules < <(find plugins/modules -name '*.py' | sort)
    mapfile -t inventories < <(find plugins/inventory -name '*.py' | sort)
    mapfile -t python_files < <(find plugins tests -name '*.py' | sort)
    ignores=tests/sanity/ignore-2.14.txt

    echo "== validate-modules (ansible-test's, on Debian's voluptuous)"
    PYTHONPATH=$SANITY_UTIL/validate-modules "$PYTHON" "$SANITY_UTIL/validate-modules/validate.py" \
        --format json --arg-spec --collection ansible_collections/pemblor/ap \
        --collection-version "$(sed -n 's/^version: *//p' galaxy.yml)" "${modules[@]}" >"$tree/validate.json" || true
    PYTHONPATH=$SANITY_UTIL/validate-modules "$PYTHON" "$SANITY_UTIL/validate-modules/validate.py" \
        --format json --plugin-type inventory --collection ansible_collections/pemblor/ap \
        --collection-version "$(sed -n 's/^version: *//p' galaxy.yml)" "${inventories[@]}" >"$tree/inventory.json" || true
    "$PYTHON" - "$ignores" "$tree/validate.json" "$tree/inventory.json" <<'PY' || failed=1
import json, sys
report = {}
for name in sys.argv[2:]:
    text = open(name).read()
    report.update(json.loads(text) if text.strip() else {})
ignored = set()
for line in open(sys.argv[1]):
    line = line.split('#')[0].split()
    if len(line) == 2 and line[1].startswith('validate-modules:'):
        ignored.add((line[0], line[1].split(':', 1)[1]))
bad = [(path, e['code'], e['msg']) for path, r in sorted(report.items())
       for e in r.get('errors', []) + r.get('traces', []) if (path, e.get('code')) not in ignored]
for path, code, msg in bad:
    print('%s: %s: %s' % (path, code, msg))
print('validate-modules: %d error(s) in %d plugins beyond %s' % (len(bad), len(report), sys.argv[1]))
sys.exit(1 if bad else 0)
PY

    echo "== pep8 (pycodestyle with ansible-test's settings)"
    pycodestyle --max-line-length 160 --config /dev/null \
        --ignore "$(grep -v '^#' "$SANITY_UTIL/pep8/current-ignore.txt" | sort | paste -sd,)" \
        "${python_files[@]}" || failed=1

    echo "== yamllint (ansible-test's checker: YAML files and the modules' documentation)"
    out=$({ find . -name '*.yml' -not -path './tests/output/*'; printf '%s\n' "${modules[@]}" "${inventories[@]}"; } |
        "$PYTHON" "$SANITY_UTIL/yamllint/yamllinter.py")
    "$PYTHON" -c 'import json, sys; sys.exit(1 if json.loads(sys.argv[1] or "{}").get("messages") else 0)' "$out" ||
        { echo "$out"; failed=1; }

    echo "== runtime-metadata (ansible-test's checker)"
    out=$("$PYTHON" "$SANITY_UTIL/code-smell/runtime-metadata.py" meta/runtime.yml 2>&1) || failed=1
    [[ -z $out ]] || { echo "$out"; failed=1; }
    exit "$failed"
    ;;
package)
    need ansible-doc
    installed=$collection/usr/share/ansible/collections/ansible_collections/pemblor/ap
    for file in MANIFEST.json FILES.json meta/runtime.yml "${MODULES[@]/#/plugins/modules/}" \
        "${INVENTORIES[@]/#/plugins/inventory/}"; do
        [[ $file == plugins/* ]] && file+=.py
        [[ -f $installed/$file ]] || { echo "FAIL - the package lacks $installed/$file"; exit 1; }
    done
    version=$("$PYTHON" -c 'import json, sys; print(json.load(open(sys.argv[1]))["collection_info"]["version"])' \
        "$installed/MANIFEST.json")
    echo "ok   - the package holds pemblor.ap $version with its manifest"
    export ANSIBLE_COLLECTIONS_PATH=$collection/usr/share/ansible/collections ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false
    ansible-doc pemblor.ap.device_address | grep -q 'RETURN VALUES' ||
        { echo "FAIL - ansible-doc does not show the packaged pemblor.ap.device_address"; exit 1; }
    echo "ok   - ansible-doc shows the packaged modules"
    ;;
*)
    echo "collection-checks.sh: unknown step $step" >&2
    exit 2
    ;;
esac
