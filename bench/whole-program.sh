#!/usr/bin/env bash
# Whole-program figures of a release build (build/release, made by scripts/run):
#   idle     the program with 50 tasks and nothing due: CPU and memory over DURATION s
#   snapshot start to first picture with 50 tasks x 30 logs, next to an empty configuration
#   refresh  50 tasks, one external log appended to every 100 ms: CPU over DURATION s
# Usage: bench/whole-program.sh [DURATION]
set -euo pipefail
cd "$(dirname "$0")/.."
duration="${1:-60}"
app="$PWD/build/release/Savewright/savewright"
[ -x "$app" ] || { echo "build first: scripts/run builds build/release"; exit 1; }
work="$(mktemp -d)"
trap 'pkill -P $$ || true; rm -rf "$work"' EXIT
tick=$(getconf CLK_TCK)

make_repo() { # folder, tasks, logs per task, kind
  local dir=$1 tasks=$2 logs=$3 kind=$4
  mkdir -p "$dir/repo/Scripts" "$dir/repo/logs" "$dir/support"
  : > "$dir/support/config.toml"
  for t in $(seq 1 "$tasks"); do
    printf '[[task]]\nname = "Task %d"\ntype = "%s"\nscript = "t.sh"\ngroup = "G%d"\ninterval_minutes = 1000000\n' \
      "$t" "$kind" $((t % 5)) >> "$dir/support/config.toml"
    for l in $(seq 1 "$logs"); do
      stamp=$(date -d "-$l hour" +%Y-%m-%d_%H-%M-%S)
      printf 'Ferrymat Log — Task %d\nStarted: x\nScript: t.sh\nStatus: SUCCESS\n\n--- Output ---\nok\n' "$t" \
        > "$dir/repo/logs/${stamp}_Task_${t}.log"
    done
  done
}

cpu_ms() { # pid -> user+system CPU in ms
  awk -v t="$tick" '{ sub(/.*\) /, ""); print ($12 + $13) * 1000 / t }' "/proc/$1/stat"
}

measure() { # label, folder
  local label=$1 dir=$2
  QT_QPA_PLATFORM=offscreen "$app" --repo "$dir/repo" --support "$dir/support" >/dev/null 2>&1 &
  local pid=$!
  sleep 3 # start-up is not idle time
  local before; before=$(cpu_ms $pid)
  sleep "$duration"
  local after; after=$(cpu_ms $pid)
  local rss; rss=$(awk '/VmRSS/ { print $2 }' "/proc/$pid/status")
  local hwm; hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status")
  kill -TERM $pid; wait $pid || true
  awk -v l="$label" -v b="$before" -v a="$after" -v d="$duration" -v r="$rss" -v h="$hwm" 'BEGIN {
    printf "%-8s CPU %.0f ms in %d s = %.3f %% of one core; RSS %.1f MiB (peak %.1f MiB)\n", l, a - b, d, (a - b) / (d * 10), r / 1024, h / 1024 }'
}

make_repo "$work/idle" 50 30 scheduled
measure idle "$work/idle"

make_repo "$work/empty" 0 0 scheduled
for label in snapshot empty; do
  dir="$work/idle"; [ $label = empty ] && dir="$work/empty"
  total=0
  for i in $(seq 1 10); do
    start=$(date +%s%N)
    "$app" --repo "$dir/repo" --support "$dir/support" --snapshot "$work/s.png" >/dev/null 2>&1
    total=$((total + $(date +%s%N) - start))
  done
  printf '%-8s start to first picture: %d ms (mean of 10)\n' $label $((total / 10000000))
done

make_repo "$work/busy" 50 30 external
stamp=$(date +%Y-%m-%d_%H-%M-%S)
running="$work/busy/repo/logs/${stamp}_Task_1.log"
printf 'Ferrymat Log — Task 1\nStarted: x\nScript: t.sh\nStatus: RUNNING\n\n--- Output ---\n' > "$running"
( while true; do echo "progress line $(date +%s%N)" >> "$running"; sleep 0.1; done ) &
measure refresh "$work/busy"
