#!/usr/bin/env bash
# Black-box runs of qelctl's mixer commands against the built-in rig.
set -u
QELCTL=${QELCTL:?}
fails=0
passes=0
check() {  # name expected actual
    if [ "$2" != "$3" ]; then
        echo "FAIL $1"; echo "--- expected"; echo "$2"; echo "--- actual"; echo "$3"; fails=$((fails + 1))
    else
        echo "ok   $1"; passes=$((passes + 1))
    fi
}

out=$("$QELCTL" --trace volume 1 3 1 -6.5 | grep -e AVC_TRANSACTION -e '^volume')
check "volume with a negative value" 'fw:1 QEL_REQ_AVC_TRANSACTION ok in=0008b881031002010202f980 out=0908b881031002010202f980
volume 3 1 -6.5' "$out"

out=$(printf 'sim knob "Stage 1814" 5 2 -20\nvolume "Stage 1814" 5 2\nmute 2 5 2 on\nmute 2 5 2\nsync-source 2 1\nmode 2 1\nmode 2\n' | "$QELCTL" -)
check "script on the second device" 'volume 5 2 -20
mute 5 2 on
mute 5 2 on
sync-source 1 (Coax SPDIF)
mode 1
mode 1' "$out"

printf 'sim avc-reply 1 0x0A\nbalance 1 1 0 10\n' | "$QELCTL" - >/dev/null 2>/tmp/qelctl_mixer_err.$$; rc=$?
check "rejected command" "1 qelctl: balance: 0xE0000001 QEL_E_FAILED" "$rc $(cat /tmp/qelctl_mixer_err.$$)"
rm -f /tmp/qelctl_mixer_err.$$

echo "$passes passed, $fails failed"
[ $fails -eq 0 ]
