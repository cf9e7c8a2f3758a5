#!/usr/bin/env bash
# Side by side, in one run: getCkpData's server time (as each server logs it) for two kpd-appserver builds
# over copies of the same demo database at 2,000 branches, calls interleaved so both see the same load.
#   bench/meaning/server-time.sh OLD_KPD_APPSERVER NEW_KPD_APPSERVER [CALLS]
# KPD_BENCH_ARGS adds options to both servers: "--no-keep" works every month out from scratch, as the first
# call after a write does. KPD_BENCH_BRANCHES sets the demo's size.
set -euo pipefail
old=$1 new=$2 calls=${3:-80}
dir=$(mktemp -d)
# The servers start inside $(...), a subshell: their pids are kept in files for the trap.
trap 'kill $(cat "$dir"/*.pid 2>/dev/null) 2>/dev/null; sleep 0.2; rm -rf "$dir"' EXIT
branches=${KPD_BENCH_BRANCHES:-2000}
read -r -a extra <<<"${KPD_BENCH_ARGS:-}"
"$new" --init-demo "$dir/base.db" --branches "$branches" --months 13 --end-month 2026-11 >/dev/null
cp "$dir/base.db" "$dir/old.db"
cp "$dir/base.db" "$dir/new.db"
start() { # binary database log -> port
  "$1" --db "$2" --listen 127.0.0.1:0 --http 127.0.0.1:0 "${extra[@]}" >"$3.out" 2>"$3" &
  echo $! >"$3.pid"
  # A build that finds the summary of another version sums it again before it serves: minutes at 20,000.
  for _ in $(seq 1 6000); do
    port=$(sed -n 's#^navegador em http://127.0.0.1:\([0-9]*\)/.*#\1#p' "$3.out")
    [ -n "$port" ] && { echo "$port"; return; }
    sleep 0.1
  done
  echo "servidor $1 não iniciou" >&2; exit 1
}
po=$(start "$old" "$dir/old.db" "$dir/old.log")
pn=$(start "$new" "$dir/new.db" "$dir/new.log")
for _ in $(seq 1 "$calls"); do
  curl -s -o /dev/null "http://127.0.0.1:$po/api/cockpit?month=2026-11"
  curl -s -o /dev/null "http://127.0.0.1:$pn/api/cockpit?month=2026-11"
done
median() { grep -o '[0-9.]* ms OK' "$1" | awk '{print $1}' | sort -n | awk '{a[NR]=$1} END {print a[int(NR/2)+1]}'; }
mo=$(median "$dir/old.log") mn=$(median "$dir/new.log")
echo "getCkpData, $branches filiais${KPD_BENCH_ARGS:+ ($KPD_BENCH_ARGS)}, mediana de $calls chamadas: antes $mo ms, depois $mn ms, razão $(awk -v a="$mn" -v b="$mo" 'BEGIN {printf "%.2f", a/b}')"
