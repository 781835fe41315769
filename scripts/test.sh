#!/usr/bin/env bash
# Every test of zurpm, from a fresh machine: installs what is missing, builds the Linux driver and
# its tests optimised with debug information (-O2 -g) and the address and undefined-behaviour
# sanitizers, warnings as errors, runs every suite and a short run of each fuzz target, then builds
# the 32-bit Windows driver and runs its suites under Wine. At the end, the time of each stage.
#   scripts/test.sh            all of it
#   scripts/test.sh --linux    the Linux stages alone (install, build, suites, fuzz): a quick turn
set -euo pipefail
case ${1:-} in
  "") windows=1 ;;
  --linux) windows=0 ;;
  *) echo "usage: $0 [--linux]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."

# Stage times, printed when the command ends, however it ends.
stages=()
seconds=()
began=$(date +%s)
stage_began=$began
finish_stage() {
  local now
  now=$(date +%s)
  stages+=("$1")
  seconds+=($((now - stage_began)))
  stage_began=$now
}
print_times() {
  local status=$1 i
  echo
  echo "stage times (s):"
  for i in "${!stages[@]}"; do printf '  %-60s %5d\n' "${stages[$i]}" "${seconds[$i]}"; done
  printf '  %-60s %5d\n' "total" $(($(date +%s) - began))
  ((status == 0)) || echo "  (stopped by a failure after the stages above)"
}
trap 'print_times $?' EXIT

if ((windows)); then
  scripts/install-deps.sh windows browser broker
else
  scripts/install-deps.sh browser broker
fi
finish_stage "install"

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZURPM_SANITIZE=ON -DZURPM_WERROR=ON \
  -DZURPM_BENCHMARKS=OFF
cmake --build build/test -j"$jobs"
finish_stage "Linux build"

# The Windows build and its Wine prefix are made meanwhile: the Linux suites mostly wait on real
# time (card start-ups against pcimsim).
prepare=
if ((windows)); then
  rm -f build/windows-prepare.seconds
  (
    start=$(date +%s)
    scripts/test-windows.sh --prepare > build/windows-prepare.log 2>&1 &
    child=$!
    trap 'kill $child 2>/dev/null || true' TERM
    status=0
    wait $child || status=$?
    echo $(($(date +%s) - start)) > build/windows-prepare.seconds
    exit $status
  ) &
  prepare=$!
  trap 'code=$?; kill $prepare 2>/dev/null || true; print_times $code' EXIT
fi

# A short run of every fuzz target, so that a regression they would find is caught here: beside the
# Linux suites, which mostly wait on real time, as the fuzz targets do not.
scripts/fuzz.sh 15 > build/fuzz.log 2>&1 &
fuzz=$!
suites=0
ctest --test-dir build/test --output-on-failure -j"$jobs" || suites=$?
fuzzed=0
wait $fuzz || fuzzed=$?
cat build/fuzz.log
finish_stage "Linux suites and fuzz (beside each other)"
if ((suites != 0 || fuzzed != 0)); then
  ((suites != 0)) && echo "error: a Linux suite failed (above)" >&2
  ((fuzzed != 0)) && echo "error: a fuzz target failed or found something (above)" >&2
  exit 1
fi

if ((windows)); then
  prepared=0
  wait $prepare || prepared=$?
  trap 'print_times $?' EXIT
  finish_stage "waiting for the Windows build and prefix"
  # Not counted in the total a second time: it ran beside the Linux suites and the fuzz runs.
  stages+=("Windows build and prefix (beside the Linux suites and fuzz)")
  seconds+=("$(cat build/windows-prepare.seconds 2>/dev/null || echo 0)")
  if ((prepared != 0)); then
    cat build/windows-prepare.log
    echo "error: the Windows build or its Wine prefix failed (above)" >&2
    exit 1
  fi
  scripts/test-windows.sh --run
  finish_stage "Windows suites"
fi
