#!/usr/bin/env bash
# zurpm publish's benchmark, on a plant of three cards with 31 PLCs each (pcimsim, PLCs that answer
# at once), 64 register gates per PLC (5952 gates, grouped: one datagram per PLC):
#   the poll's cycle time (zurpm poll, back to back) beside its floor, the driver's mandated 1 ms
#   sleep per datagram (93 ms);
#   the time from the end of the pass that read a value to the message's arrival at a subscriber
#   (mosquitto_sub on the same machine, through a mosquitto of the script's own), p50 and p99, with
#   every gate published again each second (--republish 1).
# Needs mosquitto and mosquitto-clients (Debian). Builds into build/bench as scripts/bench.sh does.
#   scripts/bench-publish.sh [--polls N]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
polls=41
[[ "${1:-}" == "--polls" ]] && polls="$2"
for program in mosquitto mosquitto_sub; do
  command -v "$program" >/dev/null || [[ -x "/usr/sbin/$program" ]] ||
    { echo "bench-publish: $program is missing: apt-get install mosquitto mosquitto-clients" >&2; exit 2; }
done
mosquitto="$(command -v mosquitto || echo /usr/sbin/mosquitto)"
build="$root/build/bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZURPM_TESTS=OFF >/dev/null
cmake --build "$build" --target zurpm_tool pcimsim -j2 >/dev/null

place="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
  rm -rf "$place"
}
trap cleanup EXIT
cd "$place"

# The plant, its zurPM.int and the gate file.
segments=(CC00 D000 D400)
ports=(3E0 2E0 1E0)
{
  echo "BASE=10"
  for c in 1 2 3; do echo "$c=${segments[c-1]};${ports[c-1]}"; done
} >zurPM.int
{
  for c in 1 2 3; do
    printf '[[card]]\nsegment = 0x%s\nport = 0x%s\nown_device = 31\nboot_ms = 200\nbus_scan_ms = 1\n\n' \
      "${segments[c-1]}" "${ports[c-1]}"
    for d in $(seq 0 30); do
      printf '  [[card.device]]\n  number = %d\n  kind = "plc"\n  reply_delay_ms = 0\n    [card.device.memory]\n    R1 = [%s]\n\n' \
        "$d" "$(seq -s ', ' $((d * 100)) $((d * 100 + 63)))"
    done
  done
} >plant.toml
{
  echo "name,address,type,block"
  for c in 1 2 3; do
    for d in $(seq 0 30); do
      station=$(((c - 1) * 32 + d))
      for r in $(seq 1 64); do printf 'c%dd%dr%d,%02d9R%05d,,\n' "$c" "$d" "$r" "$station" "$r"; done
    done
  done
} >gates.csv

"$build/tools/pcimsim/pcimsim" plant.toml --socket XPORTIO >pcimsim.log 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q ready pcimsim.log && break; sleep 0.1; done

# Milliseconds of the epoch from "2026-12-08T14:29:38.628+00:00" (the tool runs in UTC here).
epoch_ms='function ms(t,  y, m, d) { y = substr(t, 1, 4) + 0; m = substr(t, 6, 2) + 0; d = substr(t, 9, 2) + 0;
  if (m <= 2) { y--; m += 12 }
  d = 365 * y + int(y / 4) - int(y / 100) + int(y / 400) + int((153 * (m - 3) + 2) / 5) + d - 719469;
  return ((d * 24 + substr(t, 12, 2)) * 60 + substr(t, 15, 2)) * 60000 + substr(t, 18, 6) * 1000 }'
# p50, p99 and max of numbers, one a line.
quantiles() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) { print "- - -"; exit }
  printf "%.1f %.1f %.1f\n", v[int((NR - 1) * 0.5) + 1], v[int((NR - 1) * 0.99) + 1], v[NR] }'; }

# The cycle: the times of the passes, from the first gate's element lines.
TZ=UTC "$build/tools/zurpm/zurpm" poll --gates gates.csv --interval 1 --count "$polls" --format jsonl 2>/dev/null |
  grep '"name":"c1d0r1"' | sed 's/.*"time":"\([^"]*\)".*/\1/' >passes.txt
read -r cycle_p50 cycle_p99 cycle_max < <(awk "$epoch_ms"' { t = ms($0); if (NR > 1) print t - last; last = t }' passes.txt | quantiles)

# The latency: arrival (%U) minus the pass's time, for every message of a few republished passes.
port=$(( (RANDOM % 20000) + 30000 ))
printf 'listener %d 127.0.0.1\nallow_anonymous true\n' "$port" >mosquitto.conf
"$mosquitto" -c mosquitto.conf >mosquitto.log 2>&1 &
pids+=($!)
sleep 0.5
TZ=UTC "$build/tools/zurpm/zurpm" publish --gates gates.csv --broker "127.0.0.1:$port" --node bench \
  --interval 500 --republish 1 --stats 0 >publish.log 2>&1 &
pids+=($!)
messages=$((5952 * 6))
mosquitto_sub -h 127.0.0.1 -p "$port" -t 'zurpm/bench/+' -F '%U %p' -C "$messages" -W 120 2>/dev/null |
  grep '"time"' | tail -n $((5952 * 5)) >arrivals.txt || true
read -r latency_p50 latency_p99 latency_max < <(awk "$epoch_ms"' {
  split($0, at, " "); t = $0; sub(/.*"time":"/, "", t); sub(/".*/, "", t);
  print at[1] * 1000 - ms(t) }' arrivals.txt | quantiles)

echo "| zurpm publish, 3 cards x 31 PLCs x 64 registers (5952 gates) | median ms | p99 ms | max ms | floor ms |"
echo "|---|---:|---:|---:|---:|"
echo "| poll cycle, grouped ($((polls - 1)) cycles) | $cycle_p50 | $cycle_p99 | $cycle_max | 93 |"
echo "| end of a pass to a subscriber's receipt ($(wc -l <arrivals.txt) messages) | $latency_p50 | $latency_p99 | $latency_max | - |"
