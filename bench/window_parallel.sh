#!/usr/bin/env bash
# Builds an optimised window_parallel, starts the loopback servers and a front that answers every
# command DELAY_MS late (bench/delay_front.py), and compares the window's folder download and
# upload (300 files of 4 KiB; 4 files of 64 MiB) with lftp's mirror --parallel=N and
# mirror -R --parallel=N (N = 1, 2, 4) against vsftpd, with the delay and without, in one run.
#   bench/window_parallel.sh [ROUNDS] [DELAY_MS]      (needs root; installs lftp when missing)
# ROUNDS: runs of each, medians printed (3). DELAY_MS 0 runs the plain loopback only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-3}
delay=${2:-30}
build=build/bench-parallel
[ "$(id -u)" -eq 0 ] || { echo "window_parallel: needs root (vsftpd's system user)" >&2; exit 1; }
command -v lftp >/dev/null || apt-get install -y lftp >/dev/null
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target window_parallel

state=$root/$build/ftp-servers
export TALLOWIN_FTP_PORT_BASE=${TALLOWIN_FTP_PORT_BASE:-21481}
# The front listens just above the servers' ports (base + 4 is the vsftpd that takes two
# connections per address).
frontPort=$((TALLOWIN_FTP_PORT_BASE + 5))
front=
work=
cleanup() {
  [ -z "$front" ] || { kill "$front" 2>/dev/null || true; wait "$front" 2>/dev/null || true; }
  scripts/ftp-servers.sh stop "$state" || true
  [ -z "$work" ] || rm -rf "$work"
}
trap cleanup EXIT
eval "$(scripts/ftp-servers.sh start "$state")"

# An hour at most: the front outlives no run of this script by much.
/usr/bin/python3 bench/delay_front.py "$frontPort" "$TALLOWIN_FTP_VSFTPD_PORT" --delay-ms "$delay" --lifetime 3600 &
front=$!
for _ in $(seq 50); do
  timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$frontPort && head -c 3 <&3" 2>/dev/null | grep -q '^220' && break
  sleep 0.1
done

work=$(mktemp -d "$root/$build/work.XXXXXX")
QT_QPA_PLATFORM=offscreen "$build/bench/window_parallel" \
  "$TALLOWIN_FTP_VSFTPD_HOST" "$TALLOWIN_FTP_VSFTPD_PORT" "$frontPort" "$delay" "$TALLOWIN_FTP_VSFTPD_USER" \
  "$TALLOWIN_FTP_VSFTPD_PASS" "$TALLOWIN_FTP_VSFTPD_ROOT" "$work" "$rounds"
