#!/bin/bash
# Starts the program on its default directory (TTL Scope, 224.2.127.254/9875).
set -euo pipefail
build="$1"
exec "$build/src/cli/talmira-cli" listen --raw --group 224.2.127.254 --port 9875
