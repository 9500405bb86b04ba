#!/usr/bin/env bash
# Runs KVX Writer with the simulated Writer attached to Com1: the desktop program when a display
# is available, otherwise a short command-line demonstration of the same job.
set -euo pipefail
KVX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$KVX_ROOT/scripts/deps.sh"
kvx_install_deps
kvx_build >/dev/null
export KVXW_COM1=sim
bin="$KVX_ROOT/build/bin"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/kvxwriter" ]; then
  exec "$bin/kvxwriter" "$@"
fi
exec "$KVX_ROOT/scripts/demo.sh"
