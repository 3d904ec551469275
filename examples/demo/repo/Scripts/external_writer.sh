#!/usr/bin/env bash
# Stands in for a program outside Savewright that writes its own log in the
# same format; the "external" task only watches it.
set -euo pipefail
mkdir -p logs
start="$(date +%Y-%m-%d_%H-%M-%S)"
log="logs/${start}_Cloud-Sync.log"
{
  printf 'Ferrymat Log — Cloud-Sync\nStarted: %s\nScript: external\nStatus: RUNNING\n\n--- Output ---\n' "$(date +%Y-%m-%dT%H:%M:%S.000000)"
  echo "Cloud-Sync abgeglichen: 12 Dateien"
  printf '\n--- Finished: %s ---\n' "$(date +%Y-%m-%dT%H:%M:%S.000000)"
} > "$log.tmp"
sed -i 's/^Status: RUNNING$/Status: SUCCESS/' "$log.tmp"
mv "$log.tmp" "$log"
