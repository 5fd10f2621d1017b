#!/usr/bin/env bash
# The password prompt of pemblorctl in a real terminal (tmux), inside a lab
# made by scripts/lab: part of the password typed, Ctrl+Z (the terminal
# drops the unfinished line, as it does for any program), fg, the whole
# password typed again. Nothing of it may show on the screen, and the change
# must go through.
# Usage: ctl-prompt.sh PEMBLORCTL MAC PASSWORD-HEAD PASSWORD-TAIL
set -u
ctl=$1 mac=$2 head=$3 tail=$4
command -v tmux >/dev/null || { echo "ctl-prompt: skipped: tmux not found (scripts/bootstrap installs it)"; exit 77; }
sock=${PEMBLOR_LAB_DIR:-$(mktemp -d)}/tmux.sock
t() { tmux -S "$sock" "$@"; }
trap 't kill-server 2>/dev/null' EXIT
screen() { t capture-pane -p -t prompt -S -100; }
# Waits up to 10 s for CONDITION (a command) to hold.
until_true() {
    local i
    for ((i = 0; i < 400; i++)); do "$@" && return 0; sleep 0.025; done
    return 1
}
shows() { screen | grep -qF -- "$1"; }
echo_is() { stty -F "$tty" -a | grep -qE -- "(^| )$1( |$)"; }
passed=0 failed=0
check() {
    if "${@:2}"; then echo "ok   - $1"; ((passed++)); else echo "FAIL - $1"; ((failed++)); fi
}

t new-session -d -s prompt -x 160 -y 40 "bash --norc --noprofile -i" || exit 1
tty=$(t display -p -t prompt '#{pane_tty}')
until_true shows '$' || until_true shows '#'
t send-keys -t prompt "$ctl set $mac --ip 198.18.1.77 --user admin" Enter
check "the prompt shows" until_true shows "Password:"
check "echo is off at the prompt" until_true echo_is -echo
t send-keys -t prompt -l "$head"
t send-keys -t prompt C-z
check "Ctrl+Z stops it" until_true shows "Stopped"
t send-keys -t prompt "fg" Enter
check "after fg echo is off again" until_true echo_is -echo
t send-keys -t prompt -l "$head$tail"
t send-keys -t prompt Enter
until_true shows "Change setting successfully!"
t send-keys -t prompt "echo STATUS=\$?" Enter
check "the change went through with the whole password" until_true shows "STATUS=0"
check "nothing of the password was shown" bash -c "! tmux -S '$sock' capture-pane -p -t prompt -S -100 | grep -qE -- '$head|$tail'"
((failed == 0)) || screen
echo "$passed passed, $failed failed"
((failed == 0))
