#!/bin/bash
# Installs what is missing (settings, install directory), then runs the
# session directory on the default and the configured directories until
# Ctrl-C; the cache is written on the way out.
set -euo pipefail
build="$1"
cli="$build/src/cli/talmira-cli"
"$cli" setup
exec "$cli" listen
