#!/bin/bash
# `cmake --install` into a throw-away prefix: both programs, the shipped
# plug-ins, the help page, a valid desktop entry and the icon; the installed
# setup copies the installed plug-ins into a new install directory.
set -euo pipefail
build="$1"
command -v desktop-file-validate > /dev/null || { echo "desktop-file-validate is missing (desktop-file-utils)"; exit 1; }
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

prefix="$WORK/prefix"
cmake --install "$build" --prefix "$prefix" > /dev/null
for f in bin/talmira bin/talmira-cli share/talmira/help/index.html share/talmira/help/talmira.svg \
         share/applications/talmira.desktop share/icons/hicolor/scalable/apps/talmira.svg \
         share/icons/hicolor/48x48/apps/talmira.png; do
    [ -f "$prefix/$f" ] || fail "$f was not installed"
done
[ -x "$prefix/bin/talmira" ] && [ -x "$prefix/bin/talmira-cli" ] || fail "the programs are not executable"
desktop-file-validate "$prefix/share/applications/talmira.desktop" || fail "the desktop entry is not valid"
grep -qx 'Exec=talmira' "$prefix/share/applications/talmira.desktop" || fail "the desktop entry starts something else"
grep -qx 'Icon=talmira' "$prefix/share/applications/talmira.desktop" || fail "the desktop entry names another icon"

shipped=$(ls "$prefix/share/talmira/plugins" | wc -l)
[ "$shipped" -gt 0 ] || fail "no plug-ins installed"
# A plug-in only the installed copy has shows that setup takes the installed folder.
cp "$prefix/share/talmira/plugins/$(ls "$prefix/share/talmira/plugins" | head -1)" \
   "$prefix/share/talmira/plugins/rev2.plugin.installed.audio.rtpavp.1"
env -u TALMIRA_PLUGIN_SOURCE TALMIRA_SETTINGS="$WORK/Talmira.ini" XDG_DATA_HOME="$WORK/data" \
    "$prefix/bin/talmira-cli" setup > /dev/null
[ -f "$WORK/data/talmira/plugins/rev2.plugin.installed.audio.rtpavp.1" ] || fail "setup did not copy the installed plug-ins"
echo "install: ok"
