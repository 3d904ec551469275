#!/usr/bin/env bash
# Whole-program figures of a release build (build/release, made by scripts/run):
#   idle     the program with 50 tasks and nothing due: CPU, wake-ups and memory
#            over DURATION s, in a real tray (Xvfb, openbox, trayer) when those
#            are installed, else with the panel offscreen
#   snapshot start to first picture with 50 tasks x 30 logs, next to an empty configuration
#   refresh  50 tasks, one external log appended to every 100 ms: CPU over DURATION s
#   run      one run writing 1 GiB (plain lines, then changing percentages) through
#            the program, from the log's own Started/Finished lines, with the
#            program's and the script's CPU, next to `bash script > file`: with
#            the whole log kept, as that writes it, then with the default bound;
#            and a script of one process, whose floor is the file's cost alone
# CPU time is the scheduler's (nanoseconds, live threads), or the clock ticks of
# the whole process where threads that ended on the way make those say more.
# Usage: bench/whole-program.sh [DURATION]   (SAVEWRIGHT_APP: the binary, default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
duration="${1:-60}"
. bench/common.sh

cpu_ms() { # pid -> CPU time of its live threads in ms, to the nanosecond
  cat /proc/"$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%.3f", ns / 1e6 }'
}

wakeups() { # pid -> voluntary context switches of all its threads
  cat /proc/"$1"/task/*/status | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n }'
}

pss_mib() {
  awk '/^Pss:/ { kb += $2 } END { printf "%.1f", kb / 1024 }' /proc/"$1"/smaps
}

# A private X session with a tray host and a session bus, when the tools exist.
platform=offscreen
if command -v Xvfb >/dev/null && command -v trayer >/dev/null && command -v openbox >/dev/null; then
  display=":$((90 + RANDOM % 100))"
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  sleep 1
  export DISPLAY=$display
  DBUS_SESSION_BUS_ADDRESS=$(dbus-daemon --session --fork --print-address)
  export DBUS_SESSION_BUS_ADDRESS
  openbox >/dev/null 2>&1 &
  trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
  sleep 1
  platform=xcb
fi

measure() { # label, folder
  local label=$1 dir=$2
  mkdir -p "$dir/home/run"
  HOME="$dir/home" XDG_RUNTIME_DIR="$dir/home/run" QT_QPA_PLATFORM=$platform \
    "$app" --repo "$dir/repo" --support "$dir/support" >/dev/null 2>&1 &
  local pid=$!
  sleep 10 # start-up (first refreshes, logs not yet settled) is not idle time
  local before ticks wake; before=$(cpu_ms $pid); ticks=$(cpu_ticks_ms $pid); wake=$(wakeups $pid)
  sleep "$duration"
  local after woke; after=$(cpu_ms $pid); woke=$(wakeups $pid)
  # Threads that ended took their time along: then the coarse count is the true one.
  local counted; counted=$(echo "$(cpu_ticks_ms $pid) - $ticks" | bc)
  if [ "$(echo "$counted > $after - $before" | bc)" = 1 ]; then after=$(echo "$before + $counted" | bc); fi
  local pss; pss=$(pss_mib $pid)
  kill -TERM $pid; wait $pid || true
  awk -v l="$label" -v b="$before" -v a="$after" -v d="$duration" -v p="$pss" \
    -v w=$((woke - wake)) -v s="$platform" 'BEGIN {
    printf "%-8s (%s) CPU %.1f ms in %d s = %.4f %% of one core; %.2f wake-ups/s; PSS %s MiB\n",
      l, s, a - b, d, (a - b) / (d * 10), w / d, p }'
}

make_repo "$work/idle" 50 30 scheduled
measure idle "$work/idle"

make_repo "$work/empty" 0 0 scheduled
for label in snapshot empty; do
  dir="$work/idle"; [ $label = empty ] && dir="$work/empty"
  total=0
  for i in $(seq 1 10); do
    start=$(date +%s%N)
    HOME="$dir/home" QT_QPA_PLATFORM=offscreen \
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

# A run through the real program: the task never ran, so it starts at once.
# Both sides start with nothing left to write back, and the script is one
# pipeline, so that bash waits for all of it and its CPU is counted whole.
run_kind() { # label, config lines, script
  local label=$1 extra=$2 script=$3 dir="$work/run-$1"
  mkdir -p "$dir/repo/Scripts" "$dir/repo/logs" "$dir/support" "$dir/home/run"
  printf '%s\n' "$script" > "$dir/repo/Scripts/big.sh"
  printf '[[task]]\nname = "Big"\ntype = "scheduled"\nscript = "big.sh"\ninterval_minutes = 1000000\n%s\n' \
    "$extra" > "$dir/support/config.toml"
  sync
  HOME="$dir/home" XDG_RUNTIME_DIR="$dir/home/run" QT_QPA_PLATFORM=$platform \
    "$app" --repo "$dir/repo" --support "$dir/support" >/dev/null 2>&1 &
  local pid=$! log=""
  until [ -n "$log" ] && grep -q '^Status: SUCCESS' "$log"; do
    sleep 0.2; log=$(ls "$dir"/repo/logs/*.log 2>/dev/null | head -1)
  done
  # utime stime cutime cstime, in clock ticks: the program's own and its scripts'.
  local ticks; ticks=$(awk '{ print $14 + $15, $16 + $17 }' /proc/$pid/stat)
  kill -TERM $pid; wait $pid || true
  local started finished
  started=$(sed -n 's/^Started: //p' "$log" | head -1)
  finished=$(sed -n 's/^--- Finished: \(.*\) ---$/\1/p' "$log" | tail -1)
  local wall; wall=$(echo "$(date -d "$finished" +%s.%N) - $(date -d "$started" +%s.%N)" | bc)
  rm -f "$log"; sync
  local floor; floor=$( { /usr/bin/time -f '%e %U %S' bash "$dir/repo/Scripts/big.sh" > "$dir/out.log"; } 2>&1 | tail -1)
  rm -f "$dir/out.log"; sync
  # label, wall, program CPU, script CPU, floor wall, floor CPU
  awk -v l="$label" -v w="$wall" -v t="$ticks" -v f="$floor" -v hz="$(getconf CLK_TCK)" 'BEGIN {
    split(t, c, " "); split(f, b, " ")
    printf "%s %.3f %.3f %.3f %.3f %.3f\n", l, w, c[1] / hz, c[2] / hz, b[1], b[2] + b[3] }' >> "$work/runs"
}
plain='yes "$(printf '"'"'%099d'"'"' 7)" | head -c 1073741824'
percent='yes "$(for i in $(seq 0 99); do printf '"'"'%094d %2d%%\n'"'"' 7 $i; done)" | head -c 1073741824'
# A script of one process that writes 1 MiB at a time: its floor is the file's
# own cost alone, what any reader of a pipe adds shows whole.
one='python3 -c "import sys; b = (\"%099d\\n\" % 7 * 10486).encode(); [sys.stdout.buffer.write(b) for _ in range(1024)]"'
# The whole log, as `bash script > file` writes it, and the default bound; in
# interleaved rounds, as one round on a shared machine says little.
for round in $(seq 1 "${RUN_ROUNDS:-5}"); do
  run_kind plain "max_log_mb = 0" "$plain"
  run_kind percent "max_log_mb = 0" "$percent"
  run_kind one-process "max_log_mb = 0" "$one"
  run_kind plain,256MiB "" "$plain"
  run_kind percent,256MiB "" "$percent"
done
# Medians over the rounds: of each ratio, and of the seconds behind them.
python3 - "$work/runs" <<'PY'
import statistics as st, sys
rows = {}
for line in open(sys.argv[1]):
    label, *v = line.split()
    rows.setdefault(label, []).append([float(x) for x in v])
for label, rs in rows.items():
    m = lambda f: st.median(f(r) for r in rs)
    print(f"run {label:15} wall {m(lambda r: r[0]):.2f} s against {m(lambda r: r[3]):.2f} s: "
          f"{m(lambda r: r[0] / r[3]):.2f}x (rounds: "
          + " ".join(f"{r[0] / r[3]:.2f}" for r in rs)
          + f"); CPU {m(lambda r: r[1]):.2f} s program + {m(lambda r: r[2]):.2f} s script "
          f"against {m(lambda r: r[4]):.2f} s: {m(lambda r: (r[1] + r[2]) / r[4]):.2f}x (rounds: "
          + " ".join(f"{(r[1] + r[2]) / r[4]:.2f}" for r in rs) + ")")
PY
