#!/usr/bin/env bash
# What a trivial run costs the program (all its threads, scheduler time), with
# few and with many logs in the folder: its start, its end and the refreshes
# both make. A run's cost should follow its own task, not the folder.
# Usage: bench/run-end.sh [RUNS]   (SAVEWRIGHT_APP: the binary, default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20}"
app="${SAVEWRIGHT_APP:-$PWD/build/release/Savewright/savewright}"
[ -x "$app" ] || { echo "build first: scripts/run builds build/release"; exit 1; }
work="$(mktemp -d)"
trap 'pkill -P $$ || true; rm -rf "$work"' EXIT

# CPU time of the process in ms, ended threads included (a refresh reads on a
# thread of its own, a run on another), in clock ticks: coarse, so many runs.
cpu_ms() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) * 1000 / hz }' /proc/"$1"/stat
}

measure() { # tasks, logs per task
  local tasks=$1 logs=$2 dir="$work/$1x$2"
  mkdir -p "$dir/repo/Scripts" "$dir/repo/logs" "$dir/support" "$dir/home/run"
  printf 'true\n' > "$dir/repo/Scripts/quick.sh"
  printf '[[task]]\nname = "Quick"\ntype = "scheduled"\nscript = "quick.sh"\ninterval_minutes = 1000000\nmax_logs = 1000\n' \
    > "$dir/support/config.toml"
  python3 - "$dir" "$tasks" "$logs" <<'PY'
import os, sys, time
d, tasks, logs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with open(f"{d}/support/config.toml", "a") as c:
    for t in range(tasks):
        c.write(f'[[task]]\nname = "Task {t}"\ntype = "external"\nscript = "t.sh"\n')
        for l in range(logs):
            stamp = time.strftime("%Y-%m-%d_%H-%M-%S", time.localtime(time.time() - 3600 * (l + 1)))
            with open(f"{d}/repo/logs/{stamp}_Task_{t}.log", "w") as f:
                f.write(f"Ferrymat Log — Task {t}\nStarted: x\nScript: t.sh\nStatus: SUCCESS\n\n--- Output ---\nok\n")
PY
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
    before=$(cpu_ms $pid)
    "$app" --repo "$dir/repo" --support "$dir/support" run Quick >/dev/null
    until [ "$(grep -l '^Status: SUCCESS' "$dir"/repo/logs/*_Quick.log | wc -l)" -gt "$count" ]; do
      sleep 0.05
    done
    sleep 2 # the refresh after the end
    after=$(cpu_ms $pid)
    total=$(echo "$total + $after - $before" | bc)
    # The same time with nothing happening.
    before=$(cpu_ms $pid); sleep 2.5; after=$(cpu_ms $pid)
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
