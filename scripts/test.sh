#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, starts
# the real FTP servers the integration tests use on loopback, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALLOWIN_SANITIZE=ON -DTALLOWIN_BENCH=OFF
cmake --build "$build" -j2

servers="$root/$build/ftp-servers"
stop_servers() { scripts/ftp-servers.sh stop "$servers" || true; }
trap stop_servers EXIT
# Prints the export lines the integration tests read (addresses, users, server roots).
# (Captured first: a failed start must stop the run, which `eval "$(...)"` would hide.)
exports=$(scripts/ftp-servers.sh start "$servers")
eval "$exports"

ctest --test-dir "$build" --output-on-failure -j2 --timeout 900
