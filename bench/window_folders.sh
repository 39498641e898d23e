#!/usr/bin/env bash
# Builds an optimised window_folders, starts the loopback servers and compares the window's
# folder download and upload (1 000 files of 4 KiB) with lftp's mirror against vsftpd, in one run.
#   bench/window_folders.sh [FILES] [KIB]      (needs root; installs lftp when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
command -v lftp >/dev/null || apt-get install -y lftp >/dev/null
build=build/bench-window
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target window_folders

state=$root/$build/ftp-servers
export TALLOWIN_FTP_PORT_BASE=${TALLOWIN_FTP_PORT_BASE:-21461}
stop_servers() { scripts/ftp-servers.sh stop "$state" || true; }
trap stop_servers EXIT
eval "$(scripts/ftp-servers.sh start "$state")"

work=$(mktemp -d "$root/$build/work.XXXXXX")
trap 'stop_servers; rm -rf "$work"' EXIT
QT_QPA_PLATFORM=offscreen "$build/bench/window_folders" \
  "$TALLOWIN_FTP_VSFTPD_HOST" "$TALLOWIN_FTP_VSFTPD_PORT" "$TALLOWIN_FTP_VSFTPD_USER" \
  "$TALLOWIN_FTP_VSFTPD_PASS" "$TALLOWIN_FTP_VSFTPD_ROOT" "$work" "${1:-1000}" "${2:-4}"
