#!/usr/bin/env bash
# Builds the lens and starts it on the current X display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target lenti
exec build/app/lenti
