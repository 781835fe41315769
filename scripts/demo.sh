#!/usr/bin/env bash
# The main job of zurpm, from a fresh machine: installs what is missing, builds the driver and the
# zurpm tool in build/release, and runs `zurpm demo`: an emulated two-card plant inside the tool,
# polled through the driver for 20 seconds (pass other demo options through, e.g. --seconds 60).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=${ZURPM_JOBS:-$(nproc 2>/dev/null || echo 2)}
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DZURPM_TESTS=OFF -DZURPM_BENCHMARKS=OFF >/dev/null
cmake --build build/release --target zurpm_tool -j"$jobs"

exec build/release/tools/zurpm/zurpm demo "$@"
