#!/bin/bash
# The Debian package `make package` builds: made by cpack from this build
# (so from what `cmake --install` puts in place), unpacked into a throw-away root, its programs run from there (no display),
# its dependencies those dpkg-shlibdeps found, its metadata valid, and
# lintian finds no error in it.
set -euo pipefail
build="$1"
src="$(cd "$(dirname "$0")/../.." && pwd)"
for tool in cpack dpkg-deb dpkg-shlibdeps lintian appstreamcli desktop-file-validate; do
    command -v "$tool" > /dev/null || { echo "$tool is missing (scripts/deps.txt)"; exit 1; }
done
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$version" ] || fail "no package version in CPackConfig.cmake"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$WORK/out" > "$WORK/cpack.log" 2>&1 ||
    { cat "$WORK/cpack.log"; fail "cpack failed"; }
deb=$(ls "$WORK"/out/talmira_*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Control fields: dpkg-shlibdeps named the libraries the programs link, and
# every package it named exists here (this machine runs the programs).
dpkg-deb -f "$deb" Package Version Architecture > "$WORK/fields"
printf 'Package: talmira\nVersion: %s\nArchitecture: %s\n' "$version" "$(dpkg --print-architecture)" |
    diff - "$WORK/fields" || fail "unexpected control fields"
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
names=$(tr ',' '\n' <<< "$depends" | sed 's/|.*//; s/(.*//; s/ //g')
for lib in libc6 libstdc++6 libqt6core6 libqt6network6 libqt6widgets6 libqt6gui6 libqt6svg6 libnettle8 zlib1g; do
    grep -qxF "$lib" <<< "$names" || fail "Depends lacks $lib"
done
for pkg in $names; do
    dpkg-query -W "$pkg" > /dev/null 2>&1 || fail "Depends names $pkg, which is not installed here"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = "ffmpeg | mpv | vlc-bin" ] || fail "no player recommended"

root="$WORK/root"
dpkg-deb -x "$deb" "$root"
for f in bin/talmira bin/talmira-cli share/talmira/help/index.html share/talmira/help/talmira.svg \
         share/applications/talmira.desktop share/icons/hicolor/scalable/apps/talmira.svg share/icons/hicolor/48x48/apps/talmira.png \
         share/metainfo/com.talmirasoft.Talmira.metainfo.xml share/man/man1/talmira.1.gz \
         share/man/man1/talmira-cli.1.gz share/doc/talmira/copyright share/doc/talmira/changelog.gz; do
    [ -f "$root/usr/$f" ] || fail "/usr/$f is not in the package"
done
dpkg-deb -c "$deb" | awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' || fail "files not owned by root"
# The two programs and nothing else: the documentation's picture tools stay
# in the build, and the desktop program has no picture-taking options.
[ "$(ls "$root/usr/bin")" = "$(printf 'talmira\ntalmira-cli')" ] || fail "/usr/bin holds $(ls "$root/usr/bin")"
[ "$(grep -c -- --screenshot "$root/usr/bin/talmira" || true)" = 0 ] || fail "talmira still knows --screenshot"

# Both programs answer from the unpacked root, without a display.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
for program in talmira talmira-cli; do
    said=$("${nodisplay[@]}" "$root/usr/bin/$program" --version | tr '[:upper:] ' '[:lower:]~')
    [ "$said" = "talmira~$version" ] || fail "$program --version does not print the package's version $version: $said"
    "${nodisplay[@]}" "$root/usr/bin/$program" --help > "$WORK/$program.help" || fail "$program --help failed"
done
# Every option of the desktop program and every command of talmira-cli has
# its entry in the manual page.
for program in talmira talmira-cli; do
    gzip -dc "$root/usr/share/man/man1/$program.1.gz" > "$WORK/$program.1"
done
for option in -nologo -f -t -C --help --version; do
    grep -q -- " $option " "$WORK/talmira.help" || fail "talmira --help does not show $option"
    grep -q -- "$(sed 's/-/\\\\-/g' <<< "$option")\b" "$WORK/talmira.1" ||
        fail "the manual page of talmira lacks $option"
done
commands=$(sed -n '/^commands:/,/^$/p' "$WORK/talmira-cli.help" | awk 'NF && !/:$/ { print $1 }' | sort -u)
[ "$(wc -l <<< "$commands")" -ge 10 ] || fail "talmira-cli --help lists too few commands: $commands"
for command in $commands; do
    grep -q "^\.B $command\b" "$WORK/talmira-cli.1" ||
        fail "the manual page of talmira-cli lacks the command $command"
done

# The unpacked setup finds the packaged plug-ins beside its binary.
env -u TALMIRA_PLUGIN_SOURCE TALMIRA_SETTINGS="$WORK/Talmira.ini" XDG_DATA_HOME="$WORK/data" \
    "$root/usr/bin/talmira-cli" setup > /dev/null || fail "setup failed"
diff <(ls "$root/usr/share/talmira/plugins") <(ls "$WORK/data/talmira/plugins") || fail "setup copied other plug-ins"
[ -d "$WORK/data/talmira/tmp" ] && [ -d "$WORK/data/talmira/tmpInstall" ] || fail "setup made no install directory"

desktop-file-validate "$root/usr/share/applications/talmira.desktop" || fail "the desktop entry is not valid"
grep -qx 'Exec=talmira' "$root/usr/share/applications/talmira.desktop" && grep -qx 'Icon=talmira' \
    "$root/usr/share/applications/talmira.desktop" || fail "the desktop entry starts something else or names another icon"
# The tree form also checks that the metadata's desktop entry is there.
appstreamcli validate-tree --no-net "$root" || fail "the AppStream metadata is not valid"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors"
echo "package: ok"
