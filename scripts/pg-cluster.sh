#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for tests and benchmarks, with Debian's server binaries.
#
#   scripts/pg-cluster.sh start DIR    creates the cluster in DIR on first use (trust authentication,
#                                      loopback only, a free port) and starts it; prints its URI
#   scripts/pg-cluster.sh stop DIR     stops the server and keeps the data (start brings it back on
#                                      the same port)
#   scripts/pg-cluster.sh destroy DIR  stops the server and removes DIR
#   scripts/pg-cluster.sh uri DIR      prints the URI of the cluster's "kpd" database
#
# Run as root, the server runs as the "postgres" user (PostgreSQL refuses to run as root) and DIR is
# handed over to it. PG_BIN chooses the folder of initdb/pg_ctl (default: the newest under
# /usr/lib/postgresql). Exits non-zero with a message when the server cannot be created or started.
set -euo pipefail

die() { echo "pg-cluster: $*" >&2; exit 1; }

[ $# -eq 2 ] || die "uso: $0 start|stop|destroy|uri DIR"
action=$1
dir=$2

find_bin() {
  if [ -n "${PG_BIN:-}" ]; then
    echo "$PG_BIN"
    return
  fi
  local best=""
  local d
  for d in /usr/lib/postgresql/*/bin; do
    [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ] && best=$d
  done
  [ -n "$best" ] || die "initdb/pg_ctl não encontrados em /usr/lib/postgresql/*/bin (instale o pacote postgresql)"
  # The glob is sorted as text: pick the highest version number instead.
  for d in /usr/lib/postgresql/*/bin; do
    [ -x "$d/initdb" ] || continue
    local v=${d#/usr/lib/postgresql/} b=${best#/usr/lib/postgresql/}
    if [ "${v%%/*}" -gt "${b%%/*}" ] 2>/dev/null; then best=$d; fi
  done
  echo "$best"
}

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    id postgres >/dev/null 2>&1 || die "o usuário postgres não existe (instale o pacote postgresql)"
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

port_free() {
  # Nothing answers on the port: bash's /dev/tcp fails to connect.
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

pick_port() {
  local tries=0 p
  while [ $tries -lt 200 ]; do
    p=$((20000 + (RANDOM * 32768 + RANDOM) % 30000))
    if port_free "$p"; then
      echo "$p"
      return
    fi
    tries=$((tries + 1))
  done
  die "nenhuma porta livre encontrada"
}

uri() {
  echo "postgresql://postgres@127.0.0.1:$(cat "$dir/port")/kpd"
}

start() {
  local bin
  bin=$(find_bin)
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  if [ "$(id -u)" -eq 0 ]; then chown postgres: "$dir"; fi
  chmod 700 "$dir"
  local fresh=0
  if [ ! -f "$dir/data/PG_VERSION" ]; then
    as_owner "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 \
      >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; die "initdb falhou"; }
    fresh=1
  fi
  if [ "$fresh" -eq 0 ] && [ -f "$dir/port" ] && as_owner "$bin/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
    uri
    return
  fi
  local attempt
  for attempt in 1 2 3 4 5; do
    if [ ! -f "$dir/port" ] || { [ "$fresh" -eq 1 ] && [ "$attempt" -gt 1 ]; }; then
      pick_port >"$dir/port"
      if [ "$(id -u)" -eq 0 ]; then chown postgres: "$dir/port"; fi
    fi
    local port
    port=$(cat "$dir/port")
    # fsync off: the cluster is thrown away, and tests should not wait on the disk.
    if as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 start \
      -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
      >/dev/null; then
      if [ "$fresh" -eq 1 ]; then
        as_owner "$bin/psql" -h 127.0.0.1 -p "$port" -U postgres -d postgres -qAt \
          -c "CREATE DATABASE kpd" >/dev/null || die "não foi possível criar o banco kpd"
      fi
      uri
      return
    fi
    # Most likely the port was taken between the check and the start: try another one.
    [ "$fresh" -eq 1 ] || { tail -n 20 "$dir/server.log" >&2 || true; die "o servidor PostgreSQL não iniciou"; }
  done
  tail -n 20 "$dir/server.log" >&2 || true
  die "o servidor PostgreSQL não iniciou"
}

stop() {
  [ -f "$dir/data/PG_VERSION" ] || return 0
  local bin
  bin=$(find_bin)
  if as_owner "$bin/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
    as_owner "$bin/pg_ctl" -D "$dir/data" -w -t 30 -m fast stop >/dev/null
  fi
}

case "$action" in
  start) start ;;
  stop) stop ;;
  destroy) stop; rm -rf "$dir" ;;
  uri) uri ;;
  *) die "ação desconhecida: $action (use start, stop, destroy ou uri)" ;;
esac
