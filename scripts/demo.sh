#!/usr/bin/env bash
# A short tour of kvxw on the simulated Writer: load a small program for KVX-03, look at it,
# and auto-program two chips with serial numbers stamped into its RTIW words.
set -uo pipefail
KVX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
kvxw="$KVX_ROOT/build/bin/kvxw"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# examples/demo.kvh: LDWI 55h; STWR PORTA; JUMP 0 at 0000, two RTIW words for the serial number
# at 0100, and the reset word JUMP 0 at 01FF.
cp "$KVX_ROOT/examples/demo.kvh" "$work/demo.kvh"

cd "$work"
step() { printf '\n$ kvxw %s\n' "$*"; "$kvxw" "$@"; }
# A step whose output is cut short: the cut applies to kvxw's lines only, so the heading stays
# above them.
step_cut() {
  local cut=$1
  shift
  printf '\n$ kvxw %s | %s\n' "$*" "$cut"
  "$kvxw" "$@" | $cut
}
step_cut "head -n 7" devices
step info demo.kvh --device KVX-03
step_cut "tail -n 12" disasm demo.kvh --device KVX-03
step option --device KVX-03 --option 166B
step auto --port sim --device KVX-03 --file demo.kvh --option 166B --count 2 \
     --serial-start 0100 --serial-bytes 2 --serial-value 0001 2>/dev/null
step verify --port sim --device KVX-03 --file demo.kvh --option 166B --sim-chip blank
printf '\n(The last verify fails on purpose: the simulated socket holds a blank chip.)\n'
