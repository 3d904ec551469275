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
info="$(dpkg-deb --info "$deb")"
[[ "$info" == *"Depends: "*libqt6widgets6* ]] || { echo "no Qt dependency"; exit 1; }
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/savewright usr/share/applications/savewright.desktop \
         usr/share/icons/hicolor/scalable/apps/savewright.svg \
         usr/share/doc/savewright/examples/autostart/savewright.desktop \
         usr/share/doc/savewright/examples/demo/support/config.toml; do
  [ -e "$work/root/$f" ] || { echo "missing in package: $f"; exit 1; }
done
mkdir -p "$work/demo/repo/Scripts" "$work/demo/support"
cp "$source/examples/demo/support/config.toml" "$work/demo/support/"
# A home of its own: nothing lands in the developer's settings.
mkdir -p "$work/home" "$work/runtime" && chmod 700 "$work/runtime"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home" \
  XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
  XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime" \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$work/runtime/no-bus" "$work/root/usr/bin/savewright" \
  --repo "$work/demo/repo" --support "$work/demo/support" --snapshot "$work/panel.png" >/dev/null 2>&1
[ "$(head -c 4 "$work/panel.png" | tail -c 3)" = "PNG" ] || { echo "no PNG rendered"; exit 1; }
echo "package installs and runs"
