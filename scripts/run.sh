#!/bin/bash
# Installs what is missing (settings, install directory), then starts the
# desktop program; without a display, the session directory runs on the
# terminal instead until Ctrl-C. The cache is written on the way out.
set -euo pipefail
build="$1"
cli="$build/src/cli/talmira-cli"
gui="$build/src/gui/talmira"
"$cli" setup
if [[ -x "$gui" && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
    exec "$gui"
fi
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running 'talmira-cli listen' instead of the window." >&2
exec "$cli" listen
