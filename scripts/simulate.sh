#!/usr/bin/env bash
# The seeded simulation of whole plants on the virtual clock, built with the address and
# undefined-behaviour sanitizers in build/test.
#   scripts/simulate.sh --seeds N [--first S]   seeds S .. S + N - 1 (S = 1), shared among the cores
#   scripts/simulate.sh --seed N                replays one seed, telling each request as it goes
# A failing seed prints itself, what failed and its last requests; the exit status is then 1.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=${ZURPM_JOBS:-$(nproc 2>/dev/null || echo 2)}
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DZURPM_SANITIZE=ON -DZURPM_BENCHMARKS=OFF >/dev/null
cmake --build build/test --target zurpm_simulation -j"$jobs" >/dev/null
program=build/test/tests/simulation/zurpm_simulation

seeds=100 first=1
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seed) exec "$program" --seed "$2" ;;
    --seeds) seeds=$2; shift 2 ;;
    --first) first=$2; shift 2 ;;
    *) echo "usage: $0 --seeds N [--first S] | --seed N" >&2; exit 2 ;;
  esac
done

# One process a core, each with its share of the seeds.
share=$(( (seeds + jobs - 1) / jobs ))
pids=()
for (( from = first; from < first + seeds; from += share )); do
  count=$(( first + seeds - from < share ? first + seeds - from : share ))
  "$program" --first "$from" --seeds "$count" &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
