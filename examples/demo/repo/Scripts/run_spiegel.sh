#!/usr/bin/env bash
# The mirror script started by "savewright --run-spiegel": mirrors every backup once.
set -euo pipefail
cd "$(dirname "$0")/.."
for script in backup_documents.sh mirror_share.sh; do bash "Scripts/$script"; done
