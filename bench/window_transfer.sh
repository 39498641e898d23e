#!/usr/bin/env bash
# Builds an optimised window_transfer, starts the loopback servers and compares the window's
# download and upload of a large file with curl against vsftpd, in one run.
#   bench/window_transfer.sh [SIZE_MIB] [RUNS]      (default 1024 MiB, 3 runs; needs root)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build/bench-window
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target window_transfer

state=$root/$build/ftp-servers
export TALLOWIN_FTP_PORT_BASE=${TALLOWIN_FTP_PORT_BASE:-21461}
stop_servers() { scripts/ftp-servers.sh stop "$state" || true; }
trap stop_servers EXIT
eval "$(scripts/ftp-servers.sh start "$state")"

work=$(mktemp -d "$root/$build/work.XXXXXX")
trap 'stop_servers; rm -rf "$work"' EXIT
QT_QPA_PLATFORM=offscreen "$build/bench/window_transfer" \
  "$TALLOWIN_FTP_VSFTPD_HOST" "$TALLOWIN_FTP_VSFTPD_PORT" "$TALLOWIN_FTP_VSFTPD_USER" \
  "$TALLOWIN_FTP_VSFTPD_PASS" "$TALLOWIN_FTP_VSFTPD_ROOT" "$work" "${1:-1024}" "${2:-3}"
