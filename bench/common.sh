# Shared by the whole-program benchmarks, sourced from the project's root: the
# binary (SAVEWRIGHT_APP, default build/release), a work folder removed on exit,
# repositories of many tasks and logs, and the process's CPU time.
app="${SAVEWRIGHT_APP:-$PWD/build/release/Savewright/savewright}"
[ -x "$app" ] || { echo "build first: scripts/run builds build/release"; exit 1; }
work="$(mktemp -d)"
trap 'pkill -P $$ || true; rm -rf "$work"' EXIT

# A repository of `tasks` tasks of `kind` in five groups, each with `logs`
# succeeded logs an hour apart, the newest an hour old.
make_repo() { # folder, tasks, logs per task, kind
  local dir=$1 tasks=$2 logs=$3 kind=$4
  mkdir -p "$dir/repo/Scripts" "$dir/repo/logs" "$dir/support" "$dir/home/run"
  python3 - "$dir" "$tasks" "$logs" "$kind" <<'PY'
import sys, time
d, tasks, logs, kind = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
with open(f"{d}/support/config.toml", "w") as c:
    for t in range(1, tasks + 1):
        c.write(f'[[task]]\nname = "Task {t}"\ntype = "{kind}"\nscript = "t.sh"\n'
                f'group = "G{t % 5}"\ninterval_minutes = 1000000\n')
        for l in range(1, logs + 1):
            stamp = time.strftime("%Y-%m-%d_%H-%M-%S", time.localtime(time.time() - 3600 * l))
            with open(f"{d}/repo/logs/{stamp}_Task_{t}.log", "w") as f:
                f.write(f"Ferrymat Log — Task {t}\nStarted: x\nScript: t.sh\n"
                        "Status: SUCCESS\n\n--- Output ---\nok\n")
PY
}

# CPU time of the process in ms with its ended threads (a refresh reads on a
# thread of its own, a run on another), in clock ticks: coarse, but complete.
cpu_ticks_ms() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) * 1000 / hz }' /proc/"$1"/stat
}
