#!/usr/bin/env bash
# Mirrors the sample documents into a local backup folder. rsync's --stats
# summary ends up in the log's statistics block.
set -euo pipefail
mkdir -p backup/Dokumente
echo "Sichere sample/Dokumente nach backup/Dokumente"
rsync -a --delete --stats sample/Dokumente/ backup/Dokumente/
