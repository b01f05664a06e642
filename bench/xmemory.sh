#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Peak resident memory under a real X server, run by scripts/bench inside xvfb-run: the real
# projector-panel on a simulated projector, a bare Qt window of the panel's size, and, where it is
# installed, Debian's GTK serial terminal on the same line. Each is launched in turn, and its
# VmHWM is read once its window is mapped and has had time for its first frames.
# Prints ROW and NOTE lines as the benchmark programs do.
#   bench/xmemory.sh PANEL BARE SIM RUNS
set -euo pipefail
export QT_QPA_PLATFORM=xcb # the other benchmarks run offscreen
panel=$1 bare=$2 sim=$3 runs=$4
# The terminal compared with and a part of its window title; an empty BENCH_X_PEER leaves it out.
peer=${BENCH_X_PEER-gtkterm}
peer_title=${BENCH_X_PEER_TITLE-GTKTerm}
command -v "$peer" >/dev/null 2>&1 || peer=""

dir=$(mktemp -d)
simpid=""
cleanup() {
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
"$sim" --link "$dir/com1" >/dev/null 2>&1 &
simpid=$!
for _ in $(seq 100); do [ -e "$dir/com1" ] && break; sleep 0.05; done
[ -e "$dir/com1" ] || { echo "xmemory: the simulator made no line" >&2; exit 1; }

# measure TITLE-PART COMMAND...: prints the peak RSS in kB once the window is shown. A launch
# that shows no window is tried once more, and said: now and then one does not map under Xvfb.
measure() {
  launch "$@" 2>/dev/null || { echo "xmemory: $2 showed no window; launched again" >&2; launch "$@"; }
}
launch() {
  local title=$1
  shift
  "$@" >/dev/null 2>&1 &
  local pid=$! kb=""
  for _ in $(seq 600); do
    if xwininfo -root -tree 2>/dev/null | grep -qF "$title"; then
      sleep 1 # the first frames
      kb=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ -n "$kb" ] || { echo "xmemory: $1 showed no window titled \"$title\"" >&2; return 1; }
  echo "$kb"
}

kinds=(panel bare)
[ -n "$peer" ] && kinds+=(peer)
declare -A kb
for ((i = 0; i <= runs; i++)); do # the first round unrecorded: libraries and fonts cached
  for k in "${kinds[@]}"; do
    case $k in
      panel) v=$(measure "R410 & R420" "$panel" --com1 "$dir/com1" --com2 "$dir/com1") ;;
      bare) v=$(measure "bench_startup_bare" "$bare" --stay) ;;
      peer) v=$(measure "$peer_title" "$peer" -p "$dir/com1" -s 19200) ;;
    esac
    [ "$i" -gt 0 ] && kb[$k]+="$v "
  done
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{ a[NR] = $1 } END { printf "%.1f", a[int((NR + 1) / 2)] / 1024 }'; }
p=$(median <<<"${kb[panel]}")
b=$(median <<<"${kb[bare]}")
printf 'NOTE\tpeak RSS under Xvfb over %s launches each, read from VmHWM once the window was mapped and 1 s later: panel %s, bare window %s' \
  "$runs" "${kb[panel]% }" "${kb[bare]% }"
if [ -n "$peer" ]; then
  q=$(median <<<"${kb[peer]}")
  printf ', the GTK serial terminal %s kB\n' "${kb[peer]% }"
  # At least 2 MB under it: the panel does less than a general terminal.
  met=$(awk -v p="$p" -v q="$q" 'BEGIN { print (q - p >= 2) ? "yes" : "NO" }')
  printf 'ROW\tPeak resident memory under X (Xvfb), when shown (MB, median)\t%s\t%s GTK serial terminal\t%+.1f MB\t>= 2 MB under the terminal\t%s\n' \
    "$p" "$q" "$(awk -v p="$p" -v q="$q" 'BEGIN { print p - q }')" "$met"
else
  printf ' kB; no GTK serial terminal installed to compare with\n'
  printf 'ROW\tPeak resident memory under X (Xvfb), when shown (MB, median)\t%s\t-\t-\t>= 2 MB under the GTK serial terminal\t-\n' "$p"
fi
printf 'ROW\t  same, against a bare Qt window\t%s\t%s\t%sx\t(reference)\t-\n' "$p" "$b" \
  "$(awk -v p="$p" -v b="$b" 'BEGIN { printf "%.2f", p / b }')"
