#!/usr/bin/env bash
# Builds everything and runs every test through CTest.
set -euo pipefail
KVX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$KVX_ROOT/scripts/deps.sh"
kvx_install_deps
kvx_build
cd "$KVX_ROOT/build"
ctest --output-on-failure -j"$(nproc)" --timeout 300
