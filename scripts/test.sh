#!/usr/bin/env bash
# Builds everything and runs every test through CTest.
set -euo pipefail
KVX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$KVX_ROOT/scripts/deps.sh"
kvx_install_deps
kvx_build
# The shared journal's tests run against a throwaway PostgreSQL server, stopped on exit.
. "$KVX_ROOT/scripts/pg_test_server.sh"
kvx_pg_test_server
cd "$KVX_ROOT/build"
ctest --output-on-failure -j"$(nproc)" --timeout 300
