#!/usr/bin/env bash
# A short tour of kvxw against the simulated Writer.
set -uo pipefail
KVX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
kvxw="$KVX_ROOT/build/bin/kvxw"
step() { printf '\n$ kvxw %s\n' "$*"; "$kvxw" "$@"; }
step devices
step option --device KVX-03 --option 7F7F
