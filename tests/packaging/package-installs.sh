#!/usr/bin/env bash
# The .deb builds and passes lintian; it unpacks into a temp root with its
# desktop entry, metainfo, manual page, completions and user unit, each valid;
# and the binary from it renders a snapshot without a display.
set -euo pipefail
# The tools' own messages, which are read below, in a locale every machine has.
export LC_ALL=C.UTF-8
build="$1"
source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }
(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb="$(ls "$work"/pkg/*.deb)"
info="$(dpkg-deb --info "$deb")"
[[ "$info" == *"Depends: "*libqt6widgets6* ]] || fail "no Qt dependency"
[[ "$info" == *"Depends: "*libc6* ]] || fail "library dependencies not computed"
depends="$(dpkg-deb -f "$deb" Depends)"
[[ "$depends" != *bash* ]] || fail "bash is essential and never named"

if command -v lintian >/dev/null; then
  # No error and no warning (root is how CI runs; that notice is lintian's own).
  rc=0
  report="$(lintian --fail-on error,warning "$deb" 2>&1)" || rc=$?
  report="$(grep -v 'running with root privileges' <<<"$report" || true)"
  [ "$rc" = 0 ] && [ -z "$report" ] || fail "lintian: $report"
fi

dpkg-deb -x "$deb" "$work/root"
r="$work/root/usr"
for f in bin/savewright share/applications/org.savewright.Savewright.desktop \
         share/metainfo/org.savewright.Savewright.metainfo.xml \
         share/icons/hicolor/scalable/apps/savewright.svg share/man/man1/savewright.1.gz \
         share/man/de/man1/savewright.1.gz \
         share/bash-completion/completions/savewright share/zsh/vendor-completions/_savewright \
         share/fish/vendor_completions.d/savewright.fish lib/systemd/user/savewright.service \
         share/doc/savewright/copyright share/doc/savewright/changelog.gz \
         share/doc/savewright/examples/demo/support/config.toml; do
  [ -e "$r/$f" ] || fail "missing in package: $f"
done
file "$r/bin/savewright" | grep -q "stripped" && ! file "$r/bin/savewright" | grep -q "not stripped" ||
  fail "binary not stripped"

desktop-file-validate "$r/share/applications/org.savewright.Savewright.desktop"
grep -q '^Name\[de\]=\|^Comment\[de\]=' "$r/share/applications/org.savewright.Savewright.desktop" ||
  fail "desktop entry without German"
appstreamcli validate --no-net "$r/share/metainfo/org.savewright.Savewright.metainfo.xml" >/dev/null
for page in man1 de/man1; do
  warnings="$(MANWIDTH=80 man --warnings -l "$r/share/man/$page/savewright.1.gz" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "man ($page): $warnings"
done
MANWIDTH=80 man -l "$r/share/man/de/man1/savewright.1.gz" 2>/dev/null | grep -q "Benutzerbefehle" ||
  fail "German manual page not in German"
if command -v systemd-analyze >/dev/null; then
  # The program itself lies in the temp root, not in /usr/bin.
  out="$(systemd-analyze verify --man=no "$r/lib/systemd/user/savewright.service" 2>&1 || true)"
  out="$(grep -v 'is not executable' <<<"$out" || true)"
  [ -z "$out" ] || fail "user unit: $out"
fi

# The completions load, and bash's offers the task names of the configuration.
mkdir -p "$work/demo/repo/Scripts" "$work/demo/support" "$work/bin"
cp "$source/examples/demo/support/config.toml" "$work/demo/support/"
ln -s "$r/bin/savewright" "$work/bin/savewright"
# A home of its own: nothing lands in the developer's settings.
mkdir -p "$work/home" "$work/runtime" && chmod 700 "$work/runtime"
isolated() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home" \
    XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
    XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime" PATH="$work/bin:$PATH" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/runtime/no-bus" "$@"
}
offered="$(isolated bash -c "source '$r/share/bash-completion/completions/savewright'
  COMP_WORDS=(savewright --support '$work/demo/support' run D); COMP_CWORD=4
  _savewright; printf '%s\n' \"\${COMPREPLY[@]}\"")"
[ "$offered" = "Dokumente" ] || fail "bash completion offered: $offered"
if command -v zsh >/dev/null; then
  # Found by compinit in its folder and loaded as a completion function.
  isolated zsh -f -c "fpath=('$r/share/zsh/vendor-completions' \$fpath)
    autoload -Uz compinit && compinit -u -d '$work/zcompdump' && autoload -Uz +X _savewright
    [[ \${_comps[savewright]} == _savewright ]]" || fail "zsh completion"
fi
if command -v fish >/dev/null; then
  isolated fish -c "source '$r/share/fish/vendor_completions.d/savewright.fish'" || fail "fish completion"
  offered="$(isolated fish -c "source '$r/share/fish/vendor_completions.d/savewright.fish'
    complete -C 'savewright --support $work/demo/support run '")"
  [[ "$offered" == *Dokumente* ]] || fail "fish completion offered: $offered"
fi

isolated "$r/bin/savewright" --repo "$work/demo/repo" --support "$work/demo/support" \
  --snapshot "$work/panel.png" >/dev/null 2>&1
[ "$(head -c 4 "$work/panel.png" | tail -c 3)" = "PNG" ] || fail "no PNG rendered"
echo "package installs and runs"
