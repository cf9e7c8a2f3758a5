#!/usr/bin/env bash
# A new user's first build, side by side in one run: for each of two commits a fresh clone, then
#   (a) ./run without a display, until it says where the application server is: the packages checked, the
#       host, the module and the server compiled, the demo database created (what comes before the month
#       dialog on a desktop);
#   (b) ./test to its end: everything compiled, tests included, and the whole suite run.
# The two commits take turns (old, new for (a); new, old for (b)) so that both see the same load. Nothing
# comes from ccache. The packages must already be installed (each commit's own list), or their
# installation is timed too.
#   bench/build/first-build.sh [OLD [NEW]]      (default db51a40 and HEAD)
#   KPD_BENCH_RUNS="a" bench/build/first-build.sh ...   (only the first build of ./run)
#   KPD_BENCH_KEEP=1 keeps the clones and their logs (in the folder printed at the end)
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
old=$(git -C "$src" rev-parse --short "${1:-db51a40}")
new=$(git -C "$src" rev-parse --short "${2:-HEAD}")
runs=${KPD_BENCH_RUNS:-a b}
dir=$(mktemp -d /tmp/kpd-first-build.XXXXXX)
if [ -z "${KPD_BENCH_KEEP:-}" ]; then trap 'rm -rf "$dir"' EXIT; fi
export CCACHE_DISABLE=1
unset KPD_BUILD KPD_JOBS DISPLAY WAYLAND_DISPLAY

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN {printf "%.0f", b - a}'; }

# clone COMMIT LABEL -> the clone's folder, checked out at COMMIT, with no build of its own yet
clone() {
  local where="$dir/$2-$1"
  git clone -q --no-local "$src" "$where"
  git -C "$where" -c advice.detachedHead=false checkout -q "$1"
  echo "$where"
}

# time_run COMMIT: seconds from the clone to the line that names the application server's address
time_run() {
  local start where rc=0 seen=""
  start=$(now)
  where=$(clone "$1" a)
  # The headless ./run goes on to draw the cockpit and stops; the figure is taken at the line it prints
  # just before the host starts.
  while IFS= read -r line; do
    echo "$line" >>"$where.out"
    if [ -z "$seen" ] && [[ $line == "Servidor de aplicação em"* ]]; then seen=$(since "$start"); fi
  done < <(cd "$where" && timeout 3600 ./run 2>&1 || echo "saída $?")
  [ -n "$seen" ] || { echo "./run de $1 não chegou ao servidor (registro: $where.out)" >&2; rc=1; }
  echo "${seen:-falhou}"
  return $rc
}

# time_test COMMIT: "BUILD TOTAL RC", seconds from the clone to ctest's start and to ./test's end
time_test() {
  local start where built="" rc=0
  start=$(now)
  where=$(clone "$1" b)
  while IFS= read -r line; do
    echo "$line" >>"$where.out"
    if [ -z "$built" ] && [[ $line == "Test project"* ]]; then built=$(since "$start"); fi
  done < <(cd "$where" && timeout 7200 ./test 2>&1; echo "exit $?")
  rc=$(tail -n 1 "$where.out" | awk '{print $2}')
  echo "${built:-?} $(since "$start") $rc"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", b / a; else printf "-" }'; }

echo "Máquina: $(nproc) núcleos, carga $(cut -d' ' -f1-3 /proc/loadavg); antigo $old, novo $new; pasta $dir"
results=()
if [[ " $runs " == *" a "* ]]; then
  echo "(a) ./run até o servidor, $old..."; ao=$(time_run "$old" || true); echo "    $ao s"
  echo "(a) ./run até o servidor, $new..."; an=$(time_run "$new" || true); echo "    $an s"
  results+=("$(printf '%-40s %8s %8s %7s' "(a) ./run: compilação + banco demo" "$ao" "$an" "$(ratio "$ao" "$an")")")
fi
if [[ " $runs " == *" b "* ]]; then
  echo "(b) ./test, $new..."; read -r bnb bnt bnr < <(time_test "$new"); echo "    compilação $bnb s, total $bnt s, saída $bnr"
  echo "(b) ./test, $old..."; read -r bob bot bor < <(time_test "$old"); echo "    compilação $bob s, total $bot s, saída $bor"
  results+=("$(printf '%-40s %8s %8s %7s' "(b) ./test: até o ctest começar" "$bob" "$bnb" "$(ratio "$bob" "$bnb")")")
  results+=("$(printf '%-40s %8s %8s %7s' "(b) ./test: até o fim (saída $bor / $bnr)" "$bot" "$bnt" "$(ratio "$bot" "$bnt")")")
fi
echo
printf '%-40s %8s %8s %7s\n' "segundos, do clone ao fim" "$old" "$new" "razão"
printf '%s\n' "${results[@]}"
echo "Carga ao fim: $(cut -d' ' -f1-3 /proc/loadavg)"
