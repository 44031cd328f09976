#!/usr/bin/env bash
# The platform options of the qelctl program: the rig says so in help and
# version, --driver where there is no driver fails with a clear message, and
# a broken rig file or QEL_PLATFORM value ends the run with its reason.
set -u
QELCTL=${QELCTL:?}
fails=0 passes=0
check() {  # name expected actual
    if [ "$2" != "$3" ]; then
        echo "FAIL $1"; echo "--- expected"; echo "$2"; echo "--- actual"; echo "$3"; fails=$((fails + 1))
    else
        echo "ok   $1"; passes=$((passes + 1))
    fi
}
dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
unset QEL_PLATFORM

"$QELCTL" --driver list >"$dir/out" 2>"$dir/err"; rc=$?
check "--driver without a driver" "2 qelctl: --driver: this system has no drivers for the interfaces; without --driver the program runs on the simulated rig|" \
    "$rc $(cat "$dir/err")|$(cat "$dir/out")"
QEL_PLATFORM=driver "$QELCTL" version >"$dir/out" 2>"$dir/err"; rc=$?
check "QEL_PLATFORM=driver without a driver" "2|" "$rc|$(cat "$dir/out")"
QEL_PLATFORM=hardware "$QELCTL" version >/dev/null 2>"$dir/err"; rc=$?
check "unknown QEL_PLATFORM" "2 qelctl: QEL_PLATFORM=hardware: unknown platform (rig or driver)" "$rc $(cat "$dir/err")"
"$QELCTL" --rig --driver list >/dev/null 2>"$dir/err"; rc=$?
check "two platforms" "2 qelctl: choose one platform: --rig and --driver" "$rc $(cat "$dir/err")"

check "version on the rig" "fw driver 2.14 (020e00000100000000000000)
platform: simulated rig" "$(QEL_PLATFORM=driver "$QELCTL" --rig version)"
"$QELCTL" --help 2>"$dir/err" >/dev/null; rc=$?
check "help on the rig" "0 platform: simulated rig" "$rc $(grep '^platform:' "$dir/err")"

printf '[driver]\nrates 44100 48000\n\n[firewire 3]\nname Three\nmodel Kavro 610\nvolume 9\n' >"$dir/broken.rig"
"$QELCTL" --rig="$dir/broken.rig" list >"$dir/out" 2>"$dir/err"; rc=$?
check "broken rig file" "2 1" "$rc $(grep -c "qelctl: --rig: $dir/broken.rig: line 7: " "$dir/err")"
printf '[firewire 3]\nname Three\nmodel Kavro 610\n' >"$dir/one.rig"
check "rig file" 'fw id=3 vendor="" model="Kavro 610" name="Three" serial=""' "$("$QELCTL" list --rig="$dir/one.rig")"

echo "$passes passed, $fails failed"
[ $fails -eq 0 ]
