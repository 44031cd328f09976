#!/usr/bin/env bash
# Black-box runs of qelctl's control-panel commands against the built-in rig.
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

out=$(printf 'rename-device 1 "Studio 610 left rack"\nlist\n' | "$QELCTL" -)
check "rename then list" 'device 1 name="Studio 610 left rack"
fw id=1 vendor="Kavro" model="Kavro 610" name="Studio 610 left rack" serial="K610-000417"
fw id=2 vendor="Kavro" model="Kavro 1814" name="Stage 1814" serial="K1814-001202"' "$out"

out=$(printf 'set-buffer wdm 4000\n' | "$QELCTL" --trace - | cut -d' ' -f2,3 | grep -v DRIVER_VERSION)
check "wdm buffer inside a sync change" 'QEL_REQ_GET_WDM_BUFFER ok
QEL_REQ_SET_WDM_BUFFER ok
QEL_REQ_BEGIN_SYNC_CHANGE ok
QEL_REQ_END_SYNC_CHANGE ok
QEL_REQ_GET_WDM_BUFFER ok
minimum=2000 step=1000' "$out"

out=$(printf 'sim plug-state 2 audio-out 4 0xE0000080\nstreams\n' | "$QELCTL" - | grep -E "^  AudioOutPlug|^summary")
check "failed plug" '  AudioOutPlug connected (0) rates 44100 [48000] 88200 96000 176400 192000
  AudioOutPlug connect failed (Error code 0xE0000080: Selected sampling rate not supported.) rates 44100 48000 88200 96000 176400 192000
summary connect failed' "$out"

"$QELCTL" rename-channel in 999 x >/dev/null 2>/tmp/qelctl_cpl_e2e_err.$$; rc=$?
check "unknown channel" "1 qelctl: rename-channel: unknown channel: 999" "$rc $(cat /tmp/qelctl_cpl_e2e_err.$$)"
rm -f /tmp/qelctl_cpl_e2e_err.$$

echo "$((4 - fails)) passed, $fails failed"
[ $fails -eq 0 ]
