#!/usr/bin/env bash
# The soak, in real time: pcimsim serves a two-card plant while its fault schedule (--chaos SEED)
# switches faults on and off, and a small host runs REQUESTS reads and writes (default 100000,
# some ten minutes) through libzurpm.so over every memory type. Every write answered 0 is read back
# at once, and every gate written is read back at the end, once the faults are over.
#   scripts/soak.sh [REQUESTS] [SEED]
# Prints the requests, the answers 0 and 2, writes answered 0 whose value is not in the plant
# afterwards, requests that outlived their time-outs, and the host process's resident memory and
# open descriptors at the start and the end. Exit status 1 when any of those is wrong. Built without
# sanitizers (build/soak), so that what is measured is the driver's own memory.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=${ZURPM_JOBS:-$(nproc 2>/dev/null || echo 2)}
cmake -S . -B build/soak -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZURPM_SANITIZE=OFF -DZURPM_BENCHMARKS=OFF >/dev/null
cmake --build build/soak --target zurpm_soak -j"$jobs" >/dev/null

exec build/soak/tests/realtime/zurpm_soak "${1:-100000}" "${2:-1}"
