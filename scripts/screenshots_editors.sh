#!/usr/bin/env bash
# Pictures of the buffer windows and editing dialogs, with the largest device's program loaded,
# taken under a virtual X server and written as PNG files into the folder given.
#   bash scripts/screenshots_editors.sh OUTDIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
bin="$here/build/bin/editors_screens"
[ -x "$bin" ] || { echo "build it first: cmake --build build --target editors_screens" >&2; exit 1; }
command -v Xvfb >/dev/null && command -v import >/dev/null ||
  { echo "needs Xvfb and ImageMagick's import" >&2; exit 1; }
mkdir -p "$1"
out=$(cd "$1" && pwd)

displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$displayfile"' EXIT
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
display=$(head -n1 "$displayfile")
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }
runtime=$(mktemp -d)
chmod 700 "$runtime"
DISPLAY=":$display" XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb "$bin" "$out"
rm -rf "$runtime"
