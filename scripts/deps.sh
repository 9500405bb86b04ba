#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing. Sourced by the other scripts.
kvx_install_deps() {
  # qt6-charts-dev: the journal window's chart; libpq-dev: the shared journal on PostgreSQL, and
  # postgresql: the server its tests start; nlohmann-json3-dev: kvxw's --json; help2man: the
  # manual pages; dpkg-dev, file and lintian: the Debian package (cpack -G DEB) and its check;
  # python3: the README's test controller; bash-completion: the test of kvxw's completion.
  local pkgs=(g++ cmake ninja-build libgtest-dev libgmock-dev qt6-base-dev qt6-charts-dev
              libsqlite3-dev libpq-dev postgresql nlohmann-json3-dev help2man dpkg-dev file
              lintian python3 bash-completion "$@")
  local missing=()
  for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

kvx_build() {
  cmake -S "$KVX_ROOT" -B "$KVX_ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$KVX_ROOT/build" -j"$(nproc)"
}
