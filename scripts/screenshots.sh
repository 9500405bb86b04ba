#!/usr/bin/env bash
# Pictures of KVX Writer: the main window and each of its dialogs, on the simulated Writer, taken
# under a virtual X server at 1280x800 and written as PNG files into the folder given.
#   bash scripts/screenshots.sh OUTDIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
KVX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$KVX_ROOT/scripts/deps.sh"
kvx_install_deps xvfb imagemagick
kvx_build >/dev/null
mkdir -p "$1"
out=$(cd "$1" && pwd)

# A virtual screen on a display number the server picks itself.
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$displayfile"' EXIT
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
display=$(head -n1 "$displayfile")
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }

runtime=$(mktemp -d)
chmod 700 "$runtime"
DISPLAY=":$display" XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb \
  "$KVX_ROOT/build/bin/kvxwriter_tour" "$out"
DISPLAY=":$display" XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb \
  "$KVX_ROOT/build/bin/editors_tour" "$out"
rm -rf "$runtime"
echo "Pictures written to $out"
