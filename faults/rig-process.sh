#!/usr/bin/env bash
# A "#: rig-process" fault scenario: both programs (their fault harnesses) run
# on one rig process, which is killed with SIGKILL and started again RESTARTS
# times while they run; qelctl clients are killed in the middle of their
# requests. Then the harnesses check the programs against the last rig
# process, and qelctl checks that the rig process serves on.
#
#   rig-process.sh QEL_SIMD QELCTL QEL_FAULTS_MIXER QEL_FAULTS_CPL SCENARIO [RESTARTS]
set -u
simd_program=$1 qelctl=$2 mixer=$3 cpl=$4 scenario=$5 restarts=${6:-20}
dir=$(mktemp -d)
export QEL_SIM_SOCKET="$dir/rig.sock"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
simd=
harnesses=()
say() { echo "rig-process: $*"; }
start_rig() {
    "$simd_program" --socket "$QEL_SIM_SOCKET" --rig "$scenario" >>"$dir/simd.log" 2>&1 &
    simd=$!
    for _ in $(seq 200); do "$simd_program" --running --socket "$QEL_SIM_SOCKET" && return 0; sleep 0.025; done
    say "qel-simd did not start"; cat "$dir/simd.log"; return 1
}
kill_rig() {
    [ -n "$simd" ] || return 0
    kill -9 "$simd" 2>/dev/null; wait "$simd" 2>/dev/null
    simd=
}
cleanup() {
    kill_rig
    for p in "${harnesses[@]}"; do kill "$p" 2>/dev/null; done
    rm -rf "$dir"
}
trap cleanup EXIT

start_rig || exit 1
"$mixer" --verbose --rig-process "$QEL_SIM_SOCKET" --until "$dir/done" "$scenario" >"$dir/mixer.log" 2>&1 &
harnesses+=($!)
"$cpl" --verbose --rig-process "$QEL_SIM_SOCKET" --until "$dir/done" "$scenario" >"$dir/cpl.log" 2>&1 &
harnesses+=($!)
sleep 2  # both windows up

# The same random pauses on every run.
RANDOM=20261209
for i in $(seq "$restarts"); do
    sleep "0.$((RANDOM % 6 + 3))"
    # Every fifth round a qelctl client is killed while its requests run:
    # one reading meters and one waiting for a delayed AV/C transaction.
    if [ $((i % 5)) -eq 0 ]; then
        "$qelctl" meters 1 --count 100000 --interval 5 >/dev/null 2>&1 &
        meters=$!
        "$qelctl" sim delay QEL_REQ_AVC_TRANSACTION 1500 >/dev/null 2>&1
        "$qelctl" volume 1 1 1 -6 >/dev/null 2>&1 &
        avc=$!
        sleep 0.3
        kill -9 "$meters" "$avc" 2>/dev/null; wait "$meters" "$avc" 2>/dev/null
        "$qelctl" sim delay QEL_REQ_AVC_TRANSACTION 0 >/dev/null 2>&1
        sleep 0.2
    fi
    kill_rig
    sleep "0.$((RANDOM % 3 + 1))"
    start_rig || exit 1
done
say "$restarts restarts done"

# The last rig process serves a client as it served the first.
expected=$(QEL_SIM_SOCKET="$dir/none.sock" "$qelctl" --rig="$scenario" list 2>&1)
listed=$("$qelctl" list 2>&1)
fails=0
if [ "$listed" != "$expected" ]; then
    say "FAIL: the rig process lists"; echo "$listed"; say "instead of"; echo "$expected"; fails=1
fi

touch "$dir/done"
for p in "${harnesses[@]}"; do
    wait "$p" || fails=1
done
harnesses=()
cat "$dir/mixer.log" "$dir/cpl.log" | grep -v -e '^QStandardPaths' -e 'propagateSizeHints' -e 'QSystemTrayIcon' -e 'systemTrayWindowChanged'
[ "$fails" -eq 0 ] && say "PASS" || say "FAIL"
exit "$fails"
