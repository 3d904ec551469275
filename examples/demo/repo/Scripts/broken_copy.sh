#!/usr/bin/env bash
# Fails on purpose: the source folder does not exist, and rsync says so.
# Its last line is what the panel shows as the task's error.
set -uo pipefail
echo "Kopiere vom USB-Stick …"
rsync -a /media/demo-usb-stick/ backup/USB/
status=$?
echo "rsync error: USB-Stick nicht eingesteckt (code $status)" >&2
exit "$status"
