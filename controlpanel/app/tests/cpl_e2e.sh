#!/usr/bin/env bash
# Black-box runs of Drevik_ControlPanel on the built-in rig: "-exit" alone, the
# hand-over to a running instance, "-exit" ending it, a lock left by a killed
# instance. Each run gets its own runtime directory, so nothing is left behind.
set -u
CPL=${CPL:?}
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
LOCK="$XDG_RUNTIME_DIR/A5E54AA6-E04A-4dd5-BED7-B72EA29857EB.lock"
fails=0
fail() { echo "FAIL $1"; fails=$((fails + 1)); }
ok() { echo "ok   $1"; }
quiet() { timeout 10 "$CPL" "$@" >/dev/null 2>&1; }
wait_for() {  # condition command, up to 5 s
    for _ in $(seq 50); do eval "$1" && return 0; sleep 0.1; done
    return 1
}
alive() { kill -0 "$1" 2>/dev/null; }

quiet -EXIT && [ -z "$(ls -A "$XDG_RUNTIME_DIR")" ] && ok "-exit alone ends and leaves nothing" || fail "-exit alone"

"$CPL" -hide >/dev/null 2>&1 &
first=$!
wait_for '[ -e "$LOCK" ]' || fail "first start takes the lock"
quiet && quiet -asio && quiet -Hide && alive $first && ok "later starts hand over and end" || fail "later starts"
quiet -exit
wait_for '! alive $first' && ok "-exit ends the running instance" || { fail "-exit ends it"; kill $first; }
wait $first; rc=$?
[ $rc -eq 0 ] && ok "it ends normally" || fail "exit status $rc"
[ -z "$(ls -A "$XDG_RUNTIME_DIR")" ] && ok "no lock or socket left" || fail "left: $(ls -A "$XDG_RUNTIME_DIR")"

"$CPL" -hide >/dev/null 2>&1 &
crashed=$!
wait_for '[ -e "$LOCK" ]' || fail "start before the crash"
kill -9 $crashed; wait $crashed 2>/dev/null
"$CPL" -hide >/dev/null 2>&1 &
next=$!
sleep 1
alive $next && ok "a killed instance's lock is taken over" || fail "start after a crash"
quiet -exit
wait_for '! alive $next' && ok "and that instance ends on -exit" || { fail "end after crash"; kill $next; }
wait $next 2>/dev/null

[ $fails -eq 0 ] || { echo "$fails failed"; exit 1; }
