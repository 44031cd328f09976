#!/usr/bin/env bash
# Black-box runs of qel-simd with qelctl as its clients: separate qelctl runs
# share one rig, rig commands reach it from outside, and a rig that goes away
# and comes back is used again.
set -u
QELCTL=${QELCTL:?}
QEL_SIMD=${QEL_SIMD:?}
fails=0
passes=0
check() {  # name expected actual
    if [ "$2" != "$3" ]; then
        echo "FAIL $1"; echo "--- expected"; echo "$2"; echo "--- actual"; echo "$3"; fails=$((fails + 1))
    else
        echo "ok   $1"; passes=$((passes + 1))
    fi
}

dir=$(mktemp -d)
export QEL_SIM_SOCKET="$dir/simd.sock"
simd=
start_rig() {
    "$QEL_SIMD" "$@" >"$dir/simd.log" 2>&1 &
    simd=$!
    for _ in $(seq 100); do [ -S "$QEL_SIM_SOCKET" ] && return 0; sleep 0.05; done
    echo "qel-simd did not start"; cat "$dir/simd.log"; return 1
}
stop_rig() {
    [ -n "$simd" ] && kill "$simd" 2>/dev/null && wait "$simd" 2>/dev/null
    simd=
}
trap 'stop_rig; rm -rf "$dir"' EXIT

start_rig || exit 1
check "socket for the owner only" "srw-------" "$(stat -c %A "$QEL_SIM_SOCKET")"

# Without the rig process qelctl runs on its own rig; with it, the same list.
own=$(QEL_SIM_SOCKET="$dir/none.sock" "$QELCTL" list)
shared=$("$QELCTL" list)
check "list through the rig process" "$own" "$shared"

"$QELCTL" volume 1 3 1 -6.5 >/dev/null
check "a volume set by one run is read by the next" "volume 3 1 -6.5" "$("$QELCTL" volume 1 3 1)"

out=$("$QELCTL" - <<< 'sim knob "Stage 1814" 5 2 -20')
check "rig command from outside prints nothing" "" "$out"
check "the knob moved the shared rig" "volume 5 2 -20" "$("$QELCTL" volume 2 5 2)"

"$QELCTL" - <<< 'sim knob nowhere 1 1 0' >/dev/null 2>"$dir/err"; rc=$?
check "a failing rig command fails the script" "1" "$rc"
[ -s "$dir/err" ] && passes=$((passes + 1)) || { echo "FAIL no error text"; fails=$((fails + 1)); }

"$QELCTL" rename-device 1 "Desk Unit" >/dev/null
check "a rename is seen by the next run" 'fw id=1 vendor="Kavro" model="Kavro 610" name="Desk Unit" serial="K610-000417"' \
    "$("$QELCTL" list | head -1)"

# The USB device re-enumerated by a rig command in the middle of a script:
# the removal and arrival reach the script's device through the rig process.
usb='levels 16 8
sim reenumerate 16 20
levels 16 8
reopen 16 --wait 1000
levels 16 8
volume "Desk U410" 3 0 -12.7
volume 16 3 0'
own=$(QEL_SIM_SOCKET="$dir/none.sock" "$QELCTL" - <<< "$usb" 2>&1)
check "a re-enumeration as on the program's own rig" "$own" "$("$QELCTL" - <<< "$usb" 2>&1)"
own=$(QEL_SIM_SOCKET="$dir/none.sock" "$QELCTL" list)

# A client killed in the middle of its requests leaves the rig serving.
"$QELCTL" meters 1 --count 100000 --interval 5 >/dev/null 2>&1 &
meter=$!
sleep 0.3
kill -9 "$meter"; wait "$meter" 2>/dev/null
check "served on after a client was killed" "$shared" "$("$QELCTL" list | sed 's/Desk Unit/Studio 610/')"

"$QEL_SIMD" --running; rc=$?
check "the running rig process answers" "0" "$rc"

# The rig goes away: requests fail; a new rig is the default one again.
stop_rig
check "socket removed on stop" "no" "$([ -e "$QEL_SIM_SOCKET" ] && echo yes || echo no)"
"$QEL_SIMD" --running; rc=$?
check "no rig process answers" "1" "$rc"
start_rig || exit 1
check "a new rig process starts afresh" "$own" "$("$QELCTL" list)"

# A stale socket file left by a killed rig process is replaced.
kill -9 "$simd"; wait "$simd" 2>/dev/null; simd=
start_rig || exit 1
check "started over a stale socket" "$own" "$("$QELCTL" list)"
"$QEL_SIMD" >/dev/null 2>"$dir/second"; rc=$?
check "a second rig process on the same socket is refused" "1" "$rc"

# A rig file instead of the built-in rig; a broken one is refused with its line.
stop_rig
start_rig --rig "$QEL_RIGS/one-device.rig" || exit 1
check "the rig of a rig file" 'fw id=1 vendor="Kavro" model="Kavro 610" name="Studio 610" serial="K610-000417"' \
    "$("$QELCTL" list)"
stop_rig
printf '[firewire 1]\nname ok\nbogus key\n' >"$dir/broken.rig"
"$QEL_SIMD" --rig "$dir/broken.rig" 2>"$dir/err"; rc=$?
check "a broken rig file is refused" "2 yes" "$rc $(grep -q 'line 3' "$dir/err" && echo yes || echo no)"

echo "$passes passed, $fails failed"
[ $fails -eq 0 ]
