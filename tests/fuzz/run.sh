#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for a bounded time over the corpus kept
# here. Not part of ./test: run it by hand or from a nightly job.
#   tests/fuzz/run.sh [SECONDS]        (60 by default; every target gets that long)
# The build goes to build/fuzz (KPD_FUZZ_BUILD to change it); new inputs libFuzzer finds go to a scratch
# corpus there, so the small corpus in the repository stays as it is. A finding leaves its input as
# build/fuzz/findings/<target>-crash-* and makes the script exit 1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
seconds=${1:-60}
build=${KPD_FUZZ_BUILD:-$root/build/fuzz}

if ! command -v clang++ >/dev/null; then
  echo "tests/fuzz/run.sh: clang++ não encontrado (apt-get install clang libclang-rt-14-dev)" >&2
  exit 2
fi

CXX=clang++ CC=clang cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKPD_FUZZ=ON \
  -DKPD_BUILD_TESTS=OFF -DKPD_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"${KPD_JOBS:-2}" --target fuzz_replydecoder fuzz_csvreader

status=0
mkdir -p "$build/findings"
for target in replydecoder:reply csvreader:csv; do
  name=${target%%:*}
  corpus=${target##*:}
  scratch="$build/corpus/$corpus"
  mkdir -p "$scratch"
  echo "== fuzz_$name: ${seconds} s"
  # -max_len above the largest seed; -timeout catches a hang on one input; -rss_limit_mb a runaway allocation.
  if ! "$build/bin/fuzz_$name" "$scratch" "$here/corpus/$corpus" -max_total_time="$seconds" -max_len=8192 \
       -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/findings/$name-" \
       2>"$build/fuzz_$name.log"; then
    status=1
  fi
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^Done|^==[0-9]+==|SUMMARY" "$build/fuzz_$name.log" || true
done
ls "$build/findings" | grep . && status=1
exit $status
