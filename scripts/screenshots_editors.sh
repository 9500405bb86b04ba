#!/usr/bin/env bash
# Pictures of the buffer windows and editing dialogs, with the largest device's program loaded:
# build/bin/editors_screens shows them one after another on a virtual display and this script
# takes each picture of the whole screen. Usage: scripts/screenshots_editors.sh [OUTDIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$here/build/screenshots}"
bin="$here/build/bin/editors_screens"
[ -x "$bin" ] || { echo "build editors_screens first (cmake --build build --target editors_screens)" >&2; exit 1; }
command -v Xvfb >/dev/null && command -v import >/dev/null ||
  { echo "needs Xvfb and ImageMagick's import" >&2; exit 1; }
mkdir -p "$out"

display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
sleep 1

export DISPLAY="$display" QT_QPA_PLATFORM=xcb
coproc SHOTS { "$bin" 2>/dev/null; }
shots_pid=$SHOTS_PID
while read -r word name <&"${SHOTS[0]}"; do
  [ "$word" = SHOT ] || continue
  import -window root "$out/$name.png"
  echo "$out/$name.png"
  echo >&"${SHOTS[1]}"
done
wait "$shots_pid"
