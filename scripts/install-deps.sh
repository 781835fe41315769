#!/usr/bin/env bash
# Installs, through apt-get, what building and testing zurpm needs and this machine lacks.
#   scripts/install-deps.sh            the Linux build: compilers, CMake, GoogleTest, CLI11, toml++,
#                                      nlohmann-json, clang and its libFuzzer runtime for the fuzz targets
#   scripts/install-deps.sh windows    also the 32-bit Windows cross compiler and Wine
#   scripts/install-deps.sh browser    also Chromium, with which the report suite judges its pages
#                                      (the test command asks for it; the main job needs no browser)
#   scripts/install-deps.sh broker     also the MQTT broker and its command-line peers (mosquitto,
#                                      mosquitto-clients), and Node.js with npm where the machine has
#                                      no node, for the broker and publish suites (the test command)
# The words may be given together, in any order.
set -euo pipefail

want=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libtomlplusplus-dev
      nlohmann-json3-dev clang libclang-rt-14-dev)
for extra in "$@"; do
  case $extra in
    windows) want+=(g++-mingw-w64-i686 wine wine32:i386) ;;
    browser) want+=(chromium) ;;
    broker) want+=(mosquitto mosquitto-clients)
            command -v node >/dev/null && command -v npm >/dev/null || want+=(nodejs npm) ;;
    *) echo "usage: $0 [windows] [browser] [broker]" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
for package in "${missing[@]}"; do
  if [[ "$package" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
done
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
