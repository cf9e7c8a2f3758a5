#!/usr/bin/env bash
# A month's answer three ways, two server builds side by side in one run, over copies of the same demo
# database (13 months, the month asked the last one) at 200, 2,000 and 20,000 branches:
#   guardada  the kept answer, asked again and again;
#   após      the first call after a write that did not come through --import (a plain SQL write of the
#             loads' table, as an ETL's would be), the month worked out from scratch;
#   a cada    every call worked out from scratch (--no-keep).
# Each figure is the median of the server's own time for the call, as it logs it.
#   KPD_BENCH_BEFORE=OLD_KPD_APPSERVER bench/meaning/cold-answer.sh NEW_KPD_APPSERVER [CALLS]
# KPD_BENCH_ENGINE=postgresql loads the same rows into a throwaway PostgreSQL cluster (scripts/pg-cluster.sh)
# instead; KPD_BENCH_SIZES overrides the sizes ("200 2000 20000").
set -euo pipefail
new=$1 calls=${2:-40}
old=${KPD_BENCH_BEFORE:?KPD_BENCH_BEFORE: the kpd-appserver build to compare with}
engine=${KPD_BENCH_ENGINE:-sqlite}
here=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mktemp -d)
chmod 755 "$dir"   # the cluster's server runs as postgres
trap 'kill $(cat "$dir"/*.pid 2>/dev/null) 2>/dev/null || true; sleep 0.2; [ "$engine" = postgresql ] && bash "$here/scripts/pg-cluster.sh" destroy "$dir/pg" >/dev/null 2>&1; rm -rf "$dir"' EXIT
month=2026-11

# A database for each server: an SQLite file, or a database of the cluster.
database() { # name size -> --db value
  if [ "$engine" = postgresql ]; then
    local uri
    uri=$(bash "$here/scripts/pg-cluster.sh" start "$dir/pg") || exit 1
    psql -X -q -d "$uri" -c "CREATE DATABASE $1_$2" >/dev/null
    echo "${uri%/kpd}/$1_$2"
  else
    echo "$dir/$1-$2.db"
  fi
}

load() { # size db
  if [ "$engine" = postgresql ]; then
    local csv=$dir/csv-$1
    if [ ! -d "$csv" ]; then
      mkdir -p "$csv"
      for t in regional filial movimento_diario estoque_mensal meta_mensal carga_etl; do
        sqlite3 -csv -header "$dir/base-$1.db" "SELECT * FROM $t" >"$csv/$t.csv"
      done
    fi
    "$new" --import "$csv" --db "$2" --init-schema >/dev/null
  else
    cp "$dir/base-$1.db" "$2"
  fi
}

write() { # db: a write the answer depends on, as an ETL's plain SQL
  if [ "$engine" = postgresql ]; then
    psql -X -q -d "$1" -c "UPDATE carga_etl SET dtcarga = dtcarga" >/dev/null
  else
    sqlite3 "$1" "UPDATE carga_etl SET dtcarga = dtcarga"
  fi
}

start() { # binary database log [args] -> port
  local bin=$1 db=$2 log=$3
  shift 3
  "$bin" --db "$db" --listen 127.0.0.1:0 --http 127.0.0.1:0 "$@" >"$log.out" 2>>"$log" &
  echo $! >"$log.pid"
  # A build that finds the summary of another version sums it again before it serves: minutes at 20,000.
  for _ in $(seq 1 6000); do
    port=$(sed -n 's#^navegador em http://127.0.0.1:\([0-9]*\)/.*#\1#p' "$log.out")
    [ -n "$port" ] && { echo "$port"; return; }
    sleep 0.1
  done
  echo "servidor $bin não iniciou" >&2
  exit 1
}

stop() { kill "$(cat "$1.pid")"; wait "$(cat "$1.pid")" 2>/dev/null || true; rm -f "$1.pid"; }

median() { grep -o '[0-9.]* ms OK' "$1" | awk '{print $1}' | sort -n | awk '{a[NR]=$1} END {print a[int(NR/2)+1]}'; }
ask() { curl -s -o /dev/null "http://127.0.0.1:$1/api/cockpit?month=$month"; }

# One build over one database: the three figures.
measure() { # binary size label -> "kept after every"
  local bin=$1 size=$2 label=$3 db port
  db=$(database "$label" "$size")
  load "$size" "$db"
  port=$(start "$bin" "$db" "$dir/$label-keep")
  ask "$port"
  : >"$dir/$label-keep"
  for _ in $(seq 1 "$calls"); do ask "$port"; done
  local kept after
  kept=$(median "$dir/$label-keep")
  : >"$dir/$label-keep"
  for _ in $(seq 1 "$calls"); do write "$db"; ask "$port"; done
  after=$(median "$dir/$label-keep")
  stop "$dir/$label-keep"
  port=$(start "$bin" "$db" "$dir/$label-every" --no-keep)
  ask "$port"
  : >"$dir/$label-every"
  for _ in $(seq 1 "$calls"); do ask "$port"; done
  stop "$dir/$label-every"
  echo "$kept $after $(median "$dir/$label-every")"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "-"}'; }
echo "getCkpData ($engine, /api/cockpit, mediana de $calls chamadas, ms do servidor): antes = $old, depois = $new"
printf '%-8s | %8s %8s %8s | %8s %8s %8s | %s\n' filiais "guard." "após" "a cada" "guard." "após" "a cada" \
  "após: depois/antes"
declare -A afterNew
for size in ${KPD_BENCH_SIZES:-200 2000 20000}; do
  "$new" --init-demo "$dir/base-$size.db" --branches "$size" --months 13 --end-month "$month" >/dev/null
  read -r ko ao eo <<<"$(measure "$old" "$size" antes)"
  read -r kn an en <<<"$(measure "$new" "$size" depois)"
  afterNew[$size]=$an
  printf '%-8s | %8s %8s %8s | %8s %8s %8s | %s\n' "$size" "$ko" "$ao" "$eo" "$kn" "$an" "$en" "$(ratio "$an" "$ao")"
  rm -f "$dir"/*.db
done
if [ -n "${afterNew[200]:-}" ] && [ -n "${afterNew[20000]:-}" ]; then
  echo "primeira chamada após gravação, depois: 20000/200 = $(ratio "${afterNew[20000]}" "${afterNew[200]}")"
fi
