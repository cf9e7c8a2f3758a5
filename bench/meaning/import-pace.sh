#!/usr/bin/env bash
# A month of daily figures loaded two ways into copies of the same demo database (the months before it
# already there), side by side: kpd-appserver --import (summary, region totals, data version and the kept
# answers of the months it touched included) against the engine's own bulk load of the same rows into the
# same indexed table with the same triggers (sqlite3 .import, or psql's \copy, inside one transaction).
#   bench/meaning/import-pace.sh KPD_APPSERVER [BRANCHES]
# KPD_BENCH_ENGINE=postgresql loads into two databases of a throwaway cluster (scripts/pg-cluster.sh);
# KPD_BENCH_MONTHS sets the months already there (12).
set -euo pipefail
bin=$1 branches=${2:-20000}
engine=${KPD_BENCH_ENGINE:-sqlite}
months=${KPD_BENCH_MONTHS:-12}
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
if [ "$engine" = postgresql ]; then
  uri=$(bash "$here/scripts/pg-cluster.sh" start "$dir/pg") || exit 1
  mkdir "$dir/basecsv"
  for t in regional filial movimento_diario estoque_mensal meta_mensal carga_etl; do
    sqlite3 -csv -header "$dir/base.db" "SELECT * FROM $t" >"$dir/basecsv/$t.csv"
  done
  for db in carga motor; do
    psql -X -q -d "$uri" -c "CREATE DATABASE $db" >/dev/null
    "$bin" --import "$dir/basecsv" --db "${uri%/kpd}/$db" --init-schema >/dev/null 2>&1
    psql -X -q -d "${uri%/kpd}/$db" -c "VACUUM ANALYZE" >/dev/null
  done
  chmod 644 "$dir/csv/movimento_diario.csv"
  ti=$(seconds "$bin" --import "$dir/csv" --db "${uri%/kpd}/carga")
  te=$(seconds psql -X -q -v ON_ERROR_STOP=1 -d "${uri%/kpd}/motor" -c "BEGIN" \
    -c "\\copy movimento_diario (cdfilial, dtmovimento, vrfatliq, vrconsumo, vrmdo, vrdespesas) FROM '$dir/csv/movimento_diario.csv' CSV HEADER" \
    -c "COMMIT")
  check=$(psql -X -At -d "${uri%/kpd}/carga" -c "SELECT COUNT(*) FROM movimento_diario WHERE dtmovimento >= '2026-11-01'")
  own="psql \\copy"
else
  cp "$dir/base.db" "$dir/import.db"
  cp "$dir/base.db" "$dir/engine.db"
  sync
  ti=$(seconds "$bin" --import "$dir/csv" --db "$dir/import.db")
  te=$(seconds sqlite3 "$dir/engine.db" "BEGIN" ".mode csv" ".import --skip 1 $dir/csv/movimento_diario.csv movimento_diario" "COMMIT")
  check=$(sqlite3 "$dir/import.db" "SELECT COUNT(*) FROM movimento_diario WHERE dtmovimento >= '2026-11-01'")
  own="sqlite3 .import"
fi
echo "$engine, $branches filiais, $months meses antes, $rows linhas diárias ($check carregadas): --import $ti s, $own $te s, razão $(awk -v a="$ti" -v b="$te" 'BEGIN {printf "%.2f", a / b}')"
