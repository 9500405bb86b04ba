#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests of the shared journal: a cluster in a temporary
# folder, listening only on a Unix socket in that folder, with a database and users for the tests.
#
#   scripts/pg_test_server.sh start DIR   starts it and prints the connection URI
#   scripts/pg_test_server.sh stop DIR    stops it and removes DIR
#   scripts/pg_test_server.sh crash DIR   stops it at once, as a crash would (DIR stays)
#   scripts/pg_test_server.sh restart DIR starts it again after a crash
#   scripts/pg_test_server.sh standby PRIMARY DIR
#                                          starts a streaming standby of the server in PRIMARY
#   scripts/pg_test_server.sh promote DIR  makes the standby in DIR a primary
#
# Sourced (by test.sh), kvx_pg_test_server starts one in a fresh folder, exports KVX_TEST_PG (the
# URI for the tests) and KVX_TEST_PG_HOST (the socket folder), and stops it when the shell exits.
# PostgreSQL refuses to run as root: as root the server runs as the user postgres.
#
# Users: kvxtest (may create databases; the tests' own), kvxpw (password "right", checked),
# kvxnorights (may connect to kvxtest but create nothing there), kvxstation (a station's role:
# the tests grant it what the README grants a station).

kvx_pg_bindir() {
  local dir
  dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
  [ -n "$dir" ] && [ -x "$dir/initdb" ] && echo "$dir"
}

# In / : the server's user may not enter the caller's folder.
kvx_pg_as_server() {
  if [ "$(id -u)" -eq 0 ]; then (cd / && runuser -u postgres -- "$@"); else "$@"; fi
}

kvx_pg_start() {
  local dir=$1 bin
  bin=$(kvx_pg_bindir) || { echo "no PostgreSQL server installed (Debian package postgresql)" >&2; return 1; }
  mkdir -p "$dir" || return 1
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
  chmod 700 "$dir"
  kvx_pg_as_server "$bin/initdb" -D "$dir/data" -U postgres -A trust --no-sync >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; return 1; }
  # The password of kvxpw is checked; everyone else is trusted on the socket.
  kvx_pg_as_server sh -c "printf 'local all kvxpw scram-sha-256\nlocal all all trust\nlocal replication all trust\n' > '$dir/data/pg_hba.conf'"
  kvx_pg_as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s \
    -o "-k $dir -c listen_addresses='' -c fsync=off -c max_connections=200" start \
    || { cat "$dir/server.log" >&2; return 1; }
  kvx_pg_as_server "$bin/psql" -q -h "$dir" -U postgres -d postgres -v ON_ERROR_STOP=1 >/dev/null <<SQL || return 1
CREATE USER kvxtest CREATEDB;
CREATE DATABASE kvxtest OWNER kvxtest;
CREATE USER kvxpw PASSWORD 'right';
CREATE USER kvxnorights;
CREATE USER kvxstation;
SQL
  echo "postgresql:///kvxtest?host=$dir&user=kvxtest"
}

# A standby of the server in $1, streaming from it, in $2 (its own socket folder).
kvx_pg_standby() {
  local primary=$1 dir=$2 bin
  bin=$(kvx_pg_bindir) || return 1
  mkdir -p "$dir" || return 1
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
  chmod 700 "$dir"
  kvx_pg_as_server "$bin/pg_basebackup" -h "$primary" -U postgres -D "$dir/data" -R -X stream \
    -c fast >"$dir/basebackup.log" 2>&1 || { cat "$dir/basebackup.log" >&2; return 1; }
  kvx_pg_as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s \
    -o "-k $dir -c listen_addresses='' -c fsync=off -c max_connections=200" start \
    || { cat "$dir/server.log" >&2; return 1; }
  echo "postgresql:///kvxtest?host=$dir&user=kvxtest"
}

kvx_pg_stop() {
  local dir=$1 bin
  bin=$(kvx_pg_bindir) || return 0
  [ -d "$dir/data" ] && kvx_pg_as_server "$bin/pg_ctl" -D "$dir/data" -s -m immediate stop >/dev/null 2>&1
  rm -rf "$dir"
}

kvx_pg_test_server() {
  local dir uri
  dir=$(mktemp -d /tmp/kvx-pg.XXXXXX) || return 1
  if uri=$(kvx_pg_start "$dir"); then
    export KVX_TEST_PG="$uri" KVX_TEST_PG_HOST="$dir"
    trap "kvx_pg_stop '$dir'" EXIT
  else
    rm -rf "$dir"
    echo "no PostgreSQL server for the tests: the shared journal's tests will skip" >&2
  fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case "${1:-}" in
    start) kvx_pg_start "$2" ;;
    stop) kvx_pg_stop "$2" ;;
    crash) kvx_pg_as_server "$(kvx_pg_bindir)/pg_ctl" -D "$2/data" -s -m immediate stop ;;
    restart) kvx_pg_as_server "$(kvx_pg_bindir)/pg_ctl" -D "$2/data" -l "$2/server.log" -w -s \
               -o "-k $2 -c listen_addresses='' -c fsync=off -c max_connections=200" start ;;
    standby) kvx_pg_standby "$2" "$3" ;;
    promote) kvx_pg_as_server "$(kvx_pg_bindir)/pg_ctl" -D "$2/data" -w -s promote ;;
    *) echo "usage: $0 start|stop|crash|restart DIR, standby PRIMARY DIR, promote DIR" >&2; exit 2 ;;
  esac
fi
