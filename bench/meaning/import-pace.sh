#!/usr/bin/env bash
# A month of daily figures loaded two ways into copies of the same demo database (the months before it
# already there), side by side: kpd-appserver --import (summary, region totals, data version and the kept
# answers of the months it touched included) against the engine's own bulk load of the same rows into the
# same indexed table with the same triggers (sqlite3 .import, or psql's \copy, inside one transaction).
#   bench/meaning/import-pace.sh KPD_APPSERVER [BRANCHES]
# KPD_BENCH_ENGINE=postgresql loads into two databases of a throwaway cluster (scripts/pg-cluster.sh);
# KPD_BENCH_MONTHS sets the months already there (12). KPD_BENCH_ROUNDS (3) runs both loads that many
# times, one after the other, each into a fresh copy, and reports the medians: a shared machine's disk
# makes a single pair of runs differ by a third.
set -euo pipefail
bin=$1 branches=${2:-20000}
engine=${KPD_BENCH_ENGINE:-sqlite}
months=${KPD_BENCH_MONTHS:-12}
rounds=${KPD_BENCH_ROUNDS:-3}
here=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mktemp -d)
chmod 755 "$dir"   # the cluster's server runs as postgres
trap '[ "$engine" = postgresql ] && bash "$here/scripts/pg-cluster.sh" destroy "$dir/pg" >/dev/null 2>&1; rm -rf "$dir"' EXIT
"$bin" --init-demo "$dir/year.db" --branches "$branches" --months 13 --end-month 2026-11 >/dev/null
"$bin" --init-demo "$dir/base.db" --branches "$branches" --months "$months" --end-month 2026-10 >/dev/null
mkdir "$dir/csv"
sqlite3 -csv -header "$dir/year.db" "SELECT cdfilial, dtmovimento, printf('%.2f', vrfatliq) AS vrfatliq, \
  printf('%.2f', vrconsumo) AS vrconsumo, printf('%.2f', vrmdo) AS vrmdo, printf('%.2f', vrdespesas) AS vrdespesas \
  FROM movimento_diario WHERE dtmovimento >= '2026-11-01' ORDER BY cdfilial, dtmovimento" >"$dir/csv/movimento_diario.csv"
rows=$(($(wc -l <"$dir/csv/movimento_diario.csv") - 1))
rm "$dir/year.db"
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); awk -v a="$s" -v b="$e" 'BEGIN {printf "%.2f", b - a}'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
imports=() owns=()
if [ "$engine" = postgresql ]; then
  uri=$(bash "$here/scripts/pg-cluster.sh" start "$dir/pg") || exit 1
  root=${uri%/kpd}
  mkdir "$dir/basecsv"
  for t in regional filial movimento_diario estoque_mensal meta_mensal carga_etl; do
    sqlite3 -csv -header "$dir/base.db" "SELECT * FROM $t" >"$dir/basecsv/$t.csv"
  done
  # One database as the load finds it; every run loads into a fresh copy of it.
  psql -X -q -d "$uri" -c "CREATE DATABASE base" >/dev/null
  "$bin" --import "$dir/basecsv" --db "$root/base" --init-schema >/dev/null 2>&1
  psql -X -q -d "$root/base" -c "VACUUM ANALYZE" >/dev/null
  chmod 644 "$dir/csv/movimento_diario.csv"
  fresh() { psql -X -q -d "$uri" -c "DROP DATABASE IF EXISTS $1" -c "CREATE DATABASE $1 TEMPLATE base" >/dev/null 2>&1
            psql -X -q -d "$root/$1" -c "CHECKPOINT" >/dev/null; }
  for ((r = 0; r < rounds; r++)); do
    fresh carga
    imports+=("$(seconds "$bin" --import "$dir/csv" --db "$root/carga")")
    check=$(psql -X -At -d "$root/carga" -c "SELECT COUNT(*) FROM movimento_diario WHERE dtmovimento >= '2026-11-01'")
    fresh motor
    owns+=("$(seconds psql -X -q -v ON_ERROR_STOP=1 -d "$root/motor" -c "BEGIN" \
      -c "\\copy movimento_diario (cdfilial, dtmovimento, vrfatliq, vrconsumo, vrmdo, vrdespesas) FROM '$dir/csv/movimento_diario.csv' CSV HEADER" \
      -c "COMMIT")")
  done
  own="psql \\copy"
else
  for ((r = 0; r < rounds; r++)); do
    cp "$dir/base.db" "$dir/import.db"
    cp "$dir/base.db" "$dir/engine.db"
    sync
    imports+=("$(seconds "$bin" --import "$dir/csv" --db "$dir/import.db")")
    owns+=("$(seconds sqlite3 "$dir/engine.db" "BEGIN" ".mode csv" ".import --skip 1 $dir/csv/movimento_diario.csv movimento_diario" "COMMIT")")
    check=$(sqlite3 "$dir/import.db" "SELECT COUNT(*) FROM movimento_diario WHERE dtmovimento >= '2026-11-01'")
  done
  own="sqlite3 .import"
fi
ti=$(printf '%s\n' "${imports[@]}" | median)
te=$(printf '%s\n' "${owns[@]}" | median)
echo "$engine, $branches filiais, $months meses antes, $rows linhas diárias ($check carregadas), mediana de $rounds: --import $ti s (${imports[*]}), $own $te s (${owns[*]}), razão $(awk -v a="$ti" -v b="$te" 'BEGIN {printf "%.2f", a / b}')"
