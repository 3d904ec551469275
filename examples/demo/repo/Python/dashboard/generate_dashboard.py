#!/usr/bin/env python3
"""Writes an HTML overview of all tasks from Savewright's log files.

Called as: generate_dashboard.py --logs DIR --config FILE --out FILE
Exits 0 on success; on failure prints a message for the user as the last line
of standard error and exits 1. Standard library only.
"""
import argparse
import html
import pathlib
import re
import sys
import tomllib
from datetime import datetime

NAME = re.compile(r"^(\d{4}-\d{2}-\d{2}_\d{2}-\d{2}-\d{2})_(.+)\.log$")


def runs_by_task(logs: pathlib.Path):
    runs = {}
    for entry in logs.iterdir():
        match = NAME.match(entry.name)
        if match:
            runs.setdefault(match.group(2), []).append((match.group(1), entry))
    for items in runs.values():
        items.sort(reverse=True)
    return runs


def status_of(path: pathlib.Path) -> str:
    head = path.read_bytes()[:500].decode("utf-8", "replace")
    for status in ("SUCCESS", "FAILED", "RUNNING"):
        if "Status: " + status in head:
            return status
    return "?"


def stats_of(path: pathlib.Path) -> list:
    text = path.read_bytes().decode("utf-8", "replace")
    if "\n--- Stats ---\n" not in text:
        return []
    return [line for line in text.split("\n--- Stats ---\n", 1)[1].splitlines() if line]


def when(stamp: str) -> str:
    return datetime.strptime(stamp, "%Y-%m-%d_%H-%M-%S").strftime("%d.%m.%Y %H:%M")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--logs", required=True)
    parser.add_argument("--config", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    logs = pathlib.Path(args.logs)
    if not logs.is_dir():
        print(f"Log-Ordner fehlt: {logs}", file=sys.stderr)
        return 1
    try:
        tasks = tomllib.loads(pathlib.Path(args.config).read_text("utf-8")).get("task", [])
    except (OSError, tomllib.TOMLDecodeError) as error:
        print(f"config.toml nicht lesbar: {error}", file=sys.stderr)
        return 1
    runs = runs_by_task(logs)
    rows = []
    for task in tasks:
        name = str(task.get("name", ""))
        items = runs.get(name.replace(" ", "_"), [])
        latest = items[0] if items else None
        success = next((stamp for stamp, path in items if status_of(path) == "SUCCESS"), None)
        status = status_of(latest[1]) if latest else "–"
        stats = "<br>".join(html.escape(s) for s in stats_of(latest[1])) if latest else ""
        rows.append(
            f"<tr class='{status.lower()}'><td>{html.escape(name)}</td><td>{html.escape(str(task.get('type', '')))}</td>"
            f"<td>{status}</td><td>{when(success) if success else 'nie'}</td><td>{len(items)}</td><td>{stats}</td></tr>"
        )
    page = (
        "<!doctype html><meta charset='utf-8'><title>Savewright Dashboard</title>"
        "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
        "td,th{padding:.4em .8em;border-bottom:1px solid #ddd;text-align:left;vertical-align:top}"
        ".success td:nth-child(3){color:#2a9d4b}.failed td:nth-child(3){color:#d33}</style>"
        f"<h1>Savewright Dashboard</h1><p>Stand: {datetime.now():%d.%m.%Y %H:%M}</p>"
        "<table><tr><th>Task</th><th>Art</th><th>Letzter Lauf</th><th>Letzter Erfolg</th><th>Logs</th><th>Statistik</th></tr>"
        + "".join(rows) + "</table>"
    )
    pathlib.Path(args.out).write_text(page, "utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
