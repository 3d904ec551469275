#!/usr/bin/env bash
# Demo: mirrors a sample folder into a local target with rsync and prints its statistics.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$here/sample/Documents" "$here/target/Documents"
[ -e "$here/sample/Documents/notes.txt" ] || printf 'Savewright demo\n' > "$here/sample/Documents/notes.txt"
rsync -a --stats "$here/sample/Documents/" "$here/target/Documents/"
