#!/usr/bin/env bash
# The .deb builds, unpacks into a temp root with its desktop files, and the
# binary from it renders a snapshot without a display.
set -euo pipefail
build="$1"
source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb="$(ls "$work"/pkg/*.deb)"
dpkg-deb --info "$deb" | grep -q "Depends: .*libqt6widgets6"
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/savewright usr/share/applications/savewright.desktop \
         usr/share/icons/hicolor/scalable/apps/savewright.svg \
         usr/share/doc/savewright/examples/autostart/savewright.desktop \
         usr/share/doc/savewright/examples/demo/support/config.toml; do
  [ -e "$work/root/$f" ] || { echo "missing in package: $f"; exit 1; }
done
mkdir -p "$work/demo/repo/Scripts" "$work/demo/support"
cp "$source/examples/demo/support/config.toml" "$work/demo/support/"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/savewright" \
  --repo "$work/demo/repo" --support "$work/demo/support" --snapshot "$work/panel.png" >/dev/null 2>&1
head -c 8 "$work/panel.png" | od -An -c | grep -q "P   N   G"
echo "package installs and runs"
