#!/usr/bin/env bash
# wine_run.sh tells a Wine loader that died after a passing run apart from everything else: a
# stand-in `wine` on the PATH ends each way in turn, and the launcher's status must be as the table
# says. A crash of the program (its last words on standard error, or a failed or unfinished run)
# must never pass.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
cat > "$bin/wine" <<'STAND_IN'
#!/usr/bin/env bash
# $1: what to print; $2: how to end (a status, or "signal")
case $1 in
  passed) printf '[==========] 3 tests ran.\r\n[  PASSED  ] 3 tests.\r\n' ;;
  failed) printf '[  PASSED  ] 2 tests.\r\n[  FAILED  ] 1 test, listed below:\r\n' ;;
  last-words) printf '[  PASSED  ] 3 tests.\r\n'; echo 'last words of x.exe: exception C0000005' >&2 ;;
  unfinished) printf '[ RUN      ] A.B\r\n' ;;
esac
[[ $2 == signal ]] && kill -SEGV $$
exit "$2"
STAND_IN
chmod +x "$bin/wine"
export PATH=$bin:$PATH ZURPM_WINE_LOADER_CRASHES=$bin/crashes.log

failures=0
while read -r output ending expected counted; do
  rm -f "$ZURPM_WINE_LOADER_CRASHES"
  "$here/wine_run.sh" "$output" "$ending" > /dev/null 2>&1
  status=$?
  lines=$(cat "$ZURPM_WINE_LOADER_CRASHES" 2>/dev/null | wc -l)
  if [[ $status -ne $expected || $lines -ne $counted ]]; then
    echo "FAILED: a program that printed '$output' and ended by '$ending': status $status (expected $expected), $lines loader crashes counted (expected $counted)"
    failures=$((failures + 1))
  fi
done <<'TABLE'
passed      0      0   0
passed      1      1   0
failed      1      1   0
passed      signal 0   1
failed      signal 139 0
last-words  signal 139 0
unfinished  signal 139 0
TABLE
exit $((failures > 0))
