#!/bin/bash
# Runs a script on the built-in rig and compares its request trace, output and
# errors with the recorded one, byte for byte.
# usage: QELCTL=... trace_fixture.sh SCRIPT RECORDED
set -u
script=$1 recorded=$2
got=$(mktemp)
trap 'rm -f "$got"' EXIT
"$QELCTL" --rig --trace - < "$script" > "$got" 2>&1
if cmp -s "$got" "$recorded"; then
    echo "trace of $(basename "$script"): same as recorded"
    exit 0
fi
echo "trace of $(basename "$script") differs from $(basename "$recorded"):"
diff "$recorded" "$got" | head -40
exit 1
