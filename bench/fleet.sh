#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The fleet on its own, as scripts/bench --fleet [--quick] runs it: builds bench_fleet in Release
# and prints the machine, its load, and the table of figures with their details.
#   50 projectord hosts of ten projectors each (--quick: 5) on one mosquitto; about 2.5 minutes
#   (--quick: about 1)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=()
for a in "$@"; do
  case "$a" in
    --fleet) ;;
    --quick) quick=(--quick) ;;
    *) echo "bench: unknown option $a" >&2; exit 2 ;;
  esac
done

scripts/setup
build=build/bench
echo "== configure and build (Release) in $build" >&2
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPANEL_BUILD_TESTS=OFF \
  -DPANEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target bench_fleet >/dev/null

export QT_QPA_PLATFORM=offscreen
out=$(mktemp)
trap 'rm -f "$out"' EXIT
log="$build/bench-fleet-stderr.log"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "== bench_fleet ${quick[*]}" >&2
"$build/bench/bench_fleet" "${quick[@]}" >"$out" 2>"$log" || {
  echo "bench: bench_fleet failed; see $log" >&2
  tail -5 "$log" >&2
  exit 1
}
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo
echo "Machine: $(nproc) CPUs ($cpu), $(free -m | awk '/^Mem:/ { print $2 }') MB," \
  "kernel $(uname -r); load average before $load_before, after $load_after${quick:+; quick run}"
echo
awk -F'\t' '
  $1 == "ROW" { n++; for (i = 2; i <= 7; i++) cell[n, i] = $i }
  $1 == "NOTE" { notes[++m] = $2 }
  END {
    print "| Figure | Measured | Baseline (same run) | Ratio / difference | Goal | Met |"
    print "|---|---|---|---|---|---|"
    for (r = 1; r <= n; r++)
      printf "| %s | %s | %s | %s | %s | %s |\n", cell[r, 2], cell[r, 3], cell[r, 4], cell[r, 5], cell[r, 6], cell[r, 7]
    print ""
    print "Details:"
    for (k = 1; k <= m; k++) print "- " notes[k]
  }' "$out"
