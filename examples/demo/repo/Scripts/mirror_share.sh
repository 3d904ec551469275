#!/usr/bin/env bash
# Runs when its "volume" is present. The demo watches /dev/shm, a memory file
# system that every Linux machine mounts, standing in for a network share.
set -euo pipefail
mkdir -p backup/Share
rsync -a --stats sample/ backup/Share/
