#!/usr/bin/env bash
# Copies the sample photos slowly enough to show progress in the panel:
# every line with a percentage moves the row's progress bar.
set -euo pipefail
mkdir -p backup/Fotos
files=(sample/Fotos/*)
total=${#files[@]}
for i in "${!files[@]}"; do
  cp "${files[$i]}" backup/Fotos/
  printf 'kopiert: %s  %d%%\n' "$(basename "${files[$i]}")" $(( (i + 1) * 100 / total ))
  sleep 0.6
done
echo "Fotos vollständig"
