#!/usr/bin/env bash
# A month of daily figures loaded two ways into copies of the same demo database (the twelve months before
# it already there), side by side: kpd-appserver --import (summary, region totals, data version and the kept
# answers of the months it touched included) against SQLite's own bulk load of the same rows into the same
# indexed table with the same triggers (sqlite3 .import inside one transaction).
#   bench/meaning/import-pace.sh KPD_APPSERVER [BRANCHES]
set -euo pipefail
bin=$1 branches=${2:-20000}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$bin" --init-demo "$dir/year.db" --branches "$branches" --months 13 --end-month 2026-11 >/dev/null
"$bin" --init-demo "$dir/base.db" --branches "$branches" --months 12 --end-month 2026-10 >/dev/null
mkdir "$dir/csv"
sqlite3 -csv -header "$dir/year.db" "SELECT cdfilial, dtmovimento, printf('%.2f', vrfatliq) AS vrfatliq, \
  printf('%.2f', vrconsumo) AS vrconsumo, printf('%.2f', vrmdo) AS vrmdo, printf('%.2f', vrdespesas) AS vrdespesas \
  FROM movimento_diario WHERE dtmovimento >= '2026-11-01' ORDER BY cdfilial, dtmovimento" >"$dir/csv/movimento_diario.csv"
rows=$(($(wc -l <"$dir/csv/movimento_diario.csv") - 1))
rm "$dir/year.db"
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); awk -v a="$s" -v b="$e" 'BEGIN {printf "%.2f", b - a}'; }
cp "$dir/base.db" "$dir/import.db"
cp "$dir/base.db" "$dir/engine.db"
sync
ti=$(seconds "$bin" --import "$dir/csv" --db "$dir/import.db")
te=$(seconds sqlite3 "$dir/engine.db" "BEGIN" ".mode csv" ".import --skip 1 $dir/csv/movimento_diario.csv movimento_diario" "COMMIT")
check=$(sqlite3 "$dir/import.db" "SELECT COUNT(*) FROM movimento_diario WHERE dtmovimento >= '2026-11-01'")
echo "$branches filiais, $rows linhas diárias ($check carregadas): --import $ti s, sqlite3 .import $te s, razão $(awk -v a="$ti" -v b="$te" 'BEGIN {printf "%.2f", a / b}')"
