#!/usr/bin/env bash
# At a real terminal (tmux): the report is on screen before the wait, and one Enter ends the run.
set -euo pipefail
program=$1
work=$(mktemp -d)
socket=$work/tmux
trap 'tmux -S "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

cat >"$work/session" <<SCRIPT
FAKE_MONITORS=\$'1|\\\\\\\\.\\\\DISPLAY1\n0|\\\\\\\\.\\\\DISPLAY2' '$program'
echo "status=\$?"
sleep 60
SCRIPT
tmux -S "$socket" new-session -d -x 80 -y 10 "bash $work/session"

screen() { tmux -S "$socket" capture-pane -p; }
wait_for() {
    for _ in $(seq 100); do
        screen | grep -qF -- "$1" && return 0
        sleep 0.1
    done
    echo "not on screen: $1"; screen; exit 1
}

wait_for '\\.\DISPLAY2'
screen | grep -qxE '\\\\\.\\DISPLAY1 +true' || { echo "bad first line"; screen; exit 1; }
screen | grep -qxE '\\\\\.\\DISPLAY2 +false' || { echo "bad second line"; screen; exit 1; }
sleep 0.3
if screen | grep -q 'status='; then echo "did not wait for input"; screen; exit 1; fi

tmux -S "$socket" send-keys Enter
wait_for 'status=0'
echo "terminal: report shown before the wait, Enter ended the run with status 0"
