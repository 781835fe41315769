#!/usr/bin/env bash
# Runs one Windows program of the build under Wine, for ctest and the package test:
#   WINEPREFIX=<prefix> wine_run.sh PROGRAM.exe [ARGUMENTS...]
#
# Wine is quiet, offers no Mono or Gecko, and its debugger stays on: a fault that nothing in the
# program handles is told by the program's own last words (last_words.cpp) and then by Wine's
# debugger with a backtrace, and the program ends with a failure.
#
# One ending is not the program's: the Wine loader (a Linux process) killed by a signal after a
# test program reported every test passed, with no Windows exception raised. A fault of the program,
# its runtime or its DLLs is a Windows exception and never ends that way. Such a run keeps its
# verdict (passed), says so on standard error and is counted in the file named by
# ZURPM_WINE_LOADER_CRASHES (test-windows.sh prints it). Killed before that, or any other
# program killed at all, is a failure.
set -uo pipefail
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
# Both streams reach ctest as they come (a program that hangs still shows what it said) and are
# kept for the verdict below.
exec 3> >(tee "$err" >&2)
err_tee=$!
wine "$@" 2>&3 | tee "$out"
status=${PIPESTATUS[0]}
exec 3>&-
# A process that Wine started for the program (its debugger) may hold standard error a moment longer.
for _ in {1..50}; do kill -0 $err_tee 2>/dev/null || break; sleep 0.1; done
(( status <= 128 )) && exit $status

signal=$((status - 128))
program=$(basename "$1")
passed_run() {
    grep -q '^\[  PASSED  \] [0-9]* tests\?\.' "$out" && ! grep -q '^\[  FAILED  \]' "$out" &&
        ! grep -q '^last words of ' "$err"
}
echo "wine_run: the Wine loader of $program was killed by signal $signal ($(kill -l "$signal" 2>/dev/null))" >&2
dmesg 2>/dev/null | grep -E "wine|$program" | tail -n 3 >&2
if passed_run; then
    echo "wine_run: $program had reported every test passed and raised no Windows exception: Wine's" \
         "own fault at exit, not the program's; the run stands as passed" >&2
    [[ -n ${ZURPM_WINE_LOADER_CRASHES:-} ]] &&
        echo "$(date -u +%FT%TZ) $program: Wine loader killed by signal $signal after a passing run" >> "$ZURPM_WINE_LOADER_CRASHES"
    exit 0
fi
exit $status
