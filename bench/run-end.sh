#!/usr/bin/env bash
# What a trivial run costs the program (all its threads, ended ones too), with
# few and with many logs in the folder: its start, its end and the refreshes
# both make. A run's cost should follow its own task, not the folder.
# Usage: bench/run-end.sh [RUNS]   (SAVEWRIGHT_APP: the binary, default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20}"
. bench/common.sh

measure() { # tasks, logs per task
  local tasks=$1 logs=$2 dir="$work/$1x$2"
  make_repo "$dir" "$tasks" "$logs" external
  printf 'true\n' > "$dir/repo/Scripts/quick.sh"
  printf '[[task]]\nname = "Quick"\ntype = "scheduled"\nscript = "quick.sh"\ninterval_minutes = 1000000\nmax_logs = 1000\n' \
    >> "$dir/support/config.toml"
  export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/home/run" XDG_CONFIG_HOME="$dir/home/.config" \
    XDG_DATA_HOME="$dir/home/.local/share"
  local bus
  bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
  QT_QPA_PLATFORM=offscreen "$app" --repo "$dir/repo" --support "$dir/support" >/dev/null 2>&1 &
  local pid=$!
  sleep 8 # start-up and the first run of Quick
  local total=0 idle=0
  for i in $(seq 1 "$runs"); do
    local count before after
    count=$(grep -l '^Status: SUCCESS' "$dir"/repo/logs/*_Quick.log 2>/dev/null | wc -l)
    before=$(cpu_ticks_ms $pid)
    "$app" --repo "$dir/repo" --support "$dir/support" run Quick >/dev/null
    until [ "$(grep -l '^Status: SUCCESS' "$dir"/repo/logs/*_Quick.log | wc -l)" -gt "$count" ]; do
      sleep 0.05
    done
    sleep 2 # the refresh after the end
    after=$(cpu_ticks_ms $pid)
    total=$(echo "$total + $after - $before" | bc)
    # The same time with nothing happening.
    before=$(cpu_ticks_ms $pid); sleep 2.5; after=$(cpu_ticks_ms $pid)
    idle=$(echo "$idle + $after - $before" | bc)
  done
  kill -TERM $pid; wait $pid || true
  kill "${bus##*$'\n'}" 2>/dev/null || true
  awk -v t="$tasks" -v l="$logs" -v c="$total" -v i="$idle" -v n="$runs" 'BEGIN {
    printf "%5d tasks x %3d logs (%6d files): a trivial run costs the program %.1f ms (idle in the same time: %.1f ms), mean of %d\n",
      t, l, t * l, (c - i) / n, i / n, n }'
}

measure 10 30
measure 10 3000
measure 1000 30
