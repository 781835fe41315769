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

# The Windows build and its Wine prefix are made meanwhile: the Linux suites mostly wait on real
# time (card start-ups against pcimsim).
scripts/test-windows.sh --prepare > build/windows-prepare.log 2>&1 &
prepare=$!
trap 'kill $prepare 2>/dev/null || true' EXIT

ctest --test-dir build/test --output-on-failure -j"$jobs"
# A short run of every fuzz target, so that a regression they would find is caught here.
scripts/fuzz.sh 15

if ! wait $prepare; then
  cat build/windows-prepare.log
  echo "error: the Windows build or its Wine prefix failed (above)" >&2
  exit 1
fi
trap - EXIT
scripts/test-windows.sh --run
