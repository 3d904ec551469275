#!/usr/bin/env bash
# Once a week: packs the backup folder into a dated archive.
set -euo pipefail
mkdir -p archive backup
name="archive/backup-$(date +%Y-%m-%d).tar.gz"
tar -czf "$name" backup
echo "Archiv geschrieben: $name ($(du -h "$name" | cut -f1))"
