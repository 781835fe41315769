#!/usr/bin/env bash
# The real-time benchmark: builds the driver, pcimsim and the benchmark (Release, build/bench),
# starts pcimsim on bench/plant-instant.toml (a card that answers at once) in a temporary
# directory, and prints the median and 99th percentile of each request beside its floor; then
# zurpm publish's benchmark (scripts/bench-publish.sh).
#   scripts/bench.sh [--iterations N]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
build="$root/build/bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZURPM_TESTS=OFF >/dev/null
cmake --build "$build" --target zurpm pcimsim zurpm_realtime_bench -j2 >/dev/null

place="$(mktemp -d)"
simulator=""
cleanup() {
  [[ -n "$simulator" ]] && kill "$simulator" 2>/dev/null && wait "$simulator" 2>/dev/null || true
  rm -rf "$place"
}
trap cleanup EXIT
printf 'BASE=16\n1=CC00;3E0\n' >"$place/zurPM.int"
"$build/tools/pcimsim/pcimsim" "$root/bench/plant-instant.toml" --socket "$place/XPORTIO" >"$place/pcimsim.log" 2>&1 &
simulator=$!
for _ in $(seq 100); do grep -q ready "$place/pcimsim.log" && break; sleep 0.1; done
cd "$place"
XPORTIO_SOCKET="$place/XPORTIO" "$build/bench/zurpm_realtime_bench" --reply-ms 0 "$@"
"$root/scripts/bench-publish.sh"
