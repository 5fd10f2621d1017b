# Sourced by the checks' scripts. need TOOL... exits with status 77 (skipped)
# unless every TOOL is on PATH; the message starts with $checks, the name of
# the checks.
need() {
    local tool
    for tool; do
        command -v "$tool" >/dev/null || { echo "$checks: $tool not found (scripts/bootstrap installs it)" >&2; exit 77; }
    done
}
