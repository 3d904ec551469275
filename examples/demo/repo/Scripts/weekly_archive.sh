#!/usr/bin/env bash
# Once a week: packs the sample data into a dated archive.
set -euo pipefail
mkdir -p archive
name="archive/backup-$(date +%Y-%m-%d).tar.gz"
tar -czf "$name" sample
echo "Archiv geschrieben: $name ($(du -h "$name" | cut -f1))"
