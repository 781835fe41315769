#!/usr/bin/env bash
# Builds zurpm.dll (and the Windows XP one), zurpm.exe and the Windows test programs with the
# mingw-w64 i686 cross compiler in build/windows, in the Release configuration that ships, and runs
# them under Wine with ctest, in a private Wine prefix of that folder. The package test leaves the
# plant's delivery, build/windows/zurpm-<version>-win32.zip.
#
# On a kernel that cannot run 32-bit Linux programs (ia32 emulation switched off, as on some
# virtual machines), Wine's 32-bit loader runs under qemu-user instead: the script installs
# qemu-user-static and wine64 when missing, registers qemu for 32-bit ELF programs with the
# kernel's binfmt_misc, and lets the 64-bit Wine build the prefix natively, where the 32-bit
# test programs run as they would on a 64-bit Windows.
#
#   scripts/test-windows.sh             all of it
#   scripts/test-windows.sh --prepare   the build and the prefix only (scripts/test.sh runs this
#                                       beside the Linux suites, which mostly wait on real time)
#   scripts/test-windows.sh --run       the tests only, on what --prepare made
set -euo pipefail
stage=${1:-all}
case $stage in all|--prepare|--run) ;; *) echo "usage: $0 [--prepare|--run]" >&2; exit 2 ;; esac
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/windows
jobs=$(nproc 2>/dev/null || echo 2)
(( jobs > 2 )) && jobs=2

scripts/install-deps.sh windows

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)

apt_install() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  echo "installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
    { "${sudo_cmd[@]}" apt-get update -qq && DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; }
}

# Wine's 32-bit loader is a 32-bit Linux program: make sure this machine can start it.
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
binfmt=/proc/sys/fs/binfmt_misc
if ! runs_32bit; then
  echo "32-bit programs do not run natively here: running Wine's 32-bit loader under qemu-user"
  apt_install qemu-user-static wine64
  if [[ ! -e $binfmt/register ]]; then
    "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [[ ! -e $binfmt/zurpm-i386 ]]; then
    # 32-bit little-endian x86 ELF executables and shared objects; F: qemu is opened now, so it
    # also serves programs started in other mount namespaces.
    printf '%s' ':zurpm-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null
  fi
  runs_32bit || { echo "error: Wine's 32-bit loader still does not start" >&2; exit 1; }
fi

if [[ $stage != --run ]]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DZURPM_SANITIZE=OFF -DZURPM_WERROR=ON -DZURPM_BENCHMARKS=OFF -DZURPM_WINEPREFIX="$build/wineprefix"
  cmake --build "$build" -j"$jobs"
fi

# The prefix: made (or brought up to date) once here, with a generous time limit, and kept alive by
# a persistent wineserver for the whole ctest run so that every test program finds Windows already
# started. The 64-bit Wine, where there is one, does the prefix's work natively.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
boot=(wine wineboot)
if [[ -x /usr/lib/wine/wine64 ]]; then
  boot=(/usr/lib/wine/wine64 wineboot)
  [[ -e $WINEPREFIX/system.reg ]] || export WINEARCH=win64
fi
stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT
mkdir -p "$WINEPREFIX"
wineserver -p
echo "starting Windows in $WINEPREFIX"
timeout 1800 "${boot[@]}" >/dev/null 2>&1 || { echo "error: wineboot failed or timed out" >&2; exit 1; }
unset WINEARCH

# Per program: the host tests load the counting stand-in winmm.dll beside them instead of Windows'
# own, and the host test of the XP driver runs under Windows XP. (64-bit reg.exe where there is one:
# HKCU\Software is one for both.)
reg=(wine reg)
[[ -x /usr/lib/wine/wine64 ]] && reg=(/usr/lib/wine/wine64 reg)
app='HKCU\Software\Wine\AppDefaults'
for program in zurpm_windows_abi_tests.exe zurpm_windows_abi_xp.exe zurpm_windows_plant_tests.exe zurpm_windows_plant_xp.exe; do
  "${reg[@]}" add "$app\\$program\\DllOverrides" /v winmm /d native /f >/dev/null
done
for program in zurpm_windows_abi_xp.exe zurpm_windows_plant_xp.exe; do
  "${reg[@]}" add "$app\\$program" /v Version /d winxp /f >/dev/null
done
# A crash is reported by Wine's debugger on standard error, with its backtrace, never in a window.
"${reg[@]}" add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
[[ $stage == --prepare ]] && exit 0

# tests/windows/wine_run.sh counts here the runs whose Wine loader died after the program had passed.
export ZURPM_WINE_LOADER_CRASHES=$build/wine-loader-crashes.log
rm -f "$ZURPM_WINE_LOADER_CRASHES"
status=0
ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 1200 || status=$?
if [[ -s $ZURPM_WINE_LOADER_CRASHES ]]; then
  echo "note: Wine's loader died after these passing runs (not a fault of the programs; see wine_run.sh):"
  cat "$ZURPM_WINE_LOADER_CRASHES"
fi
exit $status
