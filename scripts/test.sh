#!/usr/bin/env bash
# Every test of zurpm, from a fresh machine: installs what is missing, builds the Linux driver and
# its tests with the address and undefined-behaviour sanitizers, runs every suite and a short run of
# each fuzz target, then builds the 32-bit Windows driver and runs its suites under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh windows

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DZURPM_SANITIZE=ON -DZURPM_BENCHMARKS=OFF
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure -j"$jobs"
# A short run of every fuzz target, so that a regression they would find is caught here.
scripts/fuzz.sh 15

if [[ -x scripts/test-windows.sh ]]; then
  scripts/test-windows.sh
fi
