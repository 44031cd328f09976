#!/usr/bin/env bash
# Black-box runs of the qelctl binary against the built-in rig.
set -u
QELCTL=${QELCTL:?}
fails=0
check() {  # name expected actual
    if [ "$2" != "$3" ]; then
        echo "FAIL $1"; echo "--- expected"; echo "$2"; echo "--- actual"; echo "$3"; fails=$((fails + 1))
    else
        echo "ok   $1"
    fi
}

check "list" 'fw id=1 vendor="Kavro" model="Kavro 610" name="Studio 610" serial="K610-000417"
fw id=2 vendor="Kavro" model="Kavro 1814" name="Stage 1814" serial="K1814-001202"' "$("$QELCTL" list)"

out=$(printf 'sim version 02 0e\nversion\nset-rate 96000\nrates\n' | "$QELCTL" --trace -)
check "script with trace" 'fw QEL_REQ_GET_DRIVER_VERSION ok in=- out=020e00000000000000000000
fw driver 2.14 (020e00000000000000000000)
platform: simulated rig
fw QEL_REQ_SET_SAMPLE_RATE ok in=0000000000770100 out=-
rate 96000
fw QEL_REQ_GET_SAMPLE_RATE_INFO ok in=- out=0100000000770100060000004'"4ac000080bb0000885801000077010010b1020000ee02000000000000000000"'
current 96000
possible 44100 48000 88200 96000 176400 192000' "$out"

"$QELCTL" set-rate 1000 >/dev/null 2>/tmp/qelctl_e2e_err.$$; rc=$?
check "error exit" "1 qelctl: set-rate: 0xE0000080" "$rc $(cat /tmp/qelctl_e2e_err.$$)"
rm -f /tmp/qelctl_e2e_err.$$

"$QELCTL" >/dev/null 2>&1; check "no command" 2 $?

echo "$((4 - fails)) passed, $fails failed"
[ $fails -eq 0 ]
