#!/usr/bin/env bash
# Installs what is missing, builds an optimised Tallowin and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=OFF
cmake --build build/release -j2
exec build/release/app/tallowin "$@"
