#!/usr/bin/env bash
# Builds Veltrane Server and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target vtserver vtagent
exec build/dev/src/ui/vtserver
