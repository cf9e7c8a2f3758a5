#!/usr/bin/env bash
# The board pack's time per month: kpd-host --pdf of 12 months against a server over a demo database of
# 2,000 branches, timed as a whole process (host start, 12 refreshes, drawing and writing the pack).
#   bench/boardpack/pack-time.sh [BUILD_DIR]
set -euo pipefail
bin=${1:-$(dirname "$0")/../../build}/bin
dir=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
"$bin/kpd-appserver" --init-demo "$dir/demo.db" --branches 2000 --months 13 --end-month 2026-11 >/dev/null
"$bin/kpd-appserver" --db "$dir/demo.db" --listen 127.0.0.1:0 >"$dir/out" 2>"$dir/log" &
for _ in $(seq 1 100); do
  address=$(sed -n 's/.*listening on \([^ ]*\).*/\1/p' "$dir/out")
  [ -n "$address" ] && break
  sleep 0.1
done
start=$(date +%s.%N)
QT_QPA_PLATFORM=offscreen "$bin/kpd-host" --server "$address" --month 2025-12..2026-11 --pdf "$dir/pack.pdf" 2>/dev/null
end=$(date +%s.%N)
pages=$(pdfinfo "$dir/pack.pdf" | sed -n 's/^Pages: *//p')
size=$(stat -c %s "$dir/pack.pdf")
awk -v s="$start" -v e="$end" -v p="$pages" -v b="$size" \
  'BEGIN {printf "caderno de 12 meses, 2000 filiais: %.2f s no total, %.2f s por mês, %d páginas, %d KiB\n", e-s, (e-s)/12, p, b/1024}'
