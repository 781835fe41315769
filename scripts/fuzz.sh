#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 60) and prints, per target, the inputs executed,
# the coverage reached (libFuzzer's cov: edges, ft: features) and the findings.
#   scripts/fuzz.sh [SECONDS]
# The targets are built with clang in build/fuzz. Each run starts from the seeds in fuzz/corpus/
# and from what earlier runs kept in build/fuzz/corpus/. A finding (a crash, a broken invariant, an
# input that hangs) is saved in build/fuzz/findings/<target>/ and replayed with
#   build/fuzz/fuzz/fuzz_<target> build/fuzz/findings/<target>/<file>
# A leak is reported at the end of the run, in build/fuzz/<target>.log.
# Exit status 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
targets=(gate_definition configuration packet card)
targets+=(mqtt_packet sparkplug_command)  # the broker client's decoders

scripts/install-deps.sh
cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZURPM_SANITIZE=ON -DZURPM_FUZZ=ON -DZURPM_WERROR=ON \
  -DZURPM_TESTS=OFF -DZURPM_BENCHMARKS=OFF >/dev/null
cmake --build build/fuzz --target fuzz_targets -j2 >/dev/null

found=0
printf '%-16s %12s %8s %8s %9s\n' target executions cov ft findings
for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target
  findings=build/fuzz/findings/$target
  log=build/fuzz/$target.log
  mkdir -p "$corpus" "$findings"
  before=$(find "$findings" -type f | wc -l)
  # A wait that outlives 10 s of real time on one input is a hang: every wait of the driver is
  # bounded, and the virtual clock runs a three-card start in well under a second. Leaks are looked
  # for once, at the end of the run, not after every input: each start keeps its card records for
  # the life of the process, and a leak check after every such input would slow the search twenty
  # times. Replay the corpus with -detect_leaks=1 to find the input that leaks.
  build/fuzz/fuzz/fuzz_"$target" -max_total_time="$seconds" -timeout=10 -detect_leaks=0 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" fuzz/corpus/"$target" >"$log" 2>&1 || true
  after=$(find "$findings" -type f | wc -l)
  if grep -q 'ERROR: LeakSanitizer' "$log"; then after=$((after + 1)); fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  coverage=$(grep -E '^#[0-9]+[[:space:]].*cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$coverage")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$coverage")
  printf '%-16s %12s %8s %8s %9s\n' "$target" "${executions:-?}" "${cov:-?}" "${ft:-?}" "$((after - before))"
  if ((after > before)); then
    found=1
    grep -E 'invariant broken|ERROR: |SUMMARY' "$log" | head -5 | sed 's/^/    /'
    echo "    see $log and $findings"
  fi
done
exit "$found"
