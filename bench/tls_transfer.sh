#!/usr/bin/env bash
# Downloads and uploads a 1 GiB file from and to a loopback vsftpd that requires explicit FTP
# over TLS (TLS 1.3, session reuse required), three times each with the engine and with curl
# (--ssl-reqd, -k for the self-signed certificate), and prints each median throughput and the
# ratio engine/curl. Needs root (vsftpd's system user). Builds an optimised engine in
# build/release.
#   bench/tls_transfer.sh [size in MiB, default 1024]
set -euo pipefail
cd "$(dirname "$0")/.."
sizeMiB=${1:-1024}

scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target engine_transfer >/dev/null
engine=$build/bench/engine_transfer

# Files and server roots live in memory (/dev/shm) unless TALLOWIN_BENCH_DIR names another
# folder: the disk's write-back would otherwise swamp the figures of both tools.
base=$(mktemp -d "${TALLOWIN_BENCH_DIR:-/dev/shm}/tallowin-tls-bench.XXXXXX")
chmod 755 "$base"   # vsftpd's user must reach its root inside
state=$base/servers
work=$base/files
# Ports of their own, so a test run can go on at the same time.
export TALLOWIN_FTP_PORT_BASE=${TALLOWIN_FTP_PORT_BASE:-21131}
trap 'scripts/ftp-servers.sh stop "$state" || true; rm -rf "$base"' EXIT
eval "$(scripts/ftp-servers.sh start "$state")"
host=$TALLOWIN_FTP_VSFTPD_TLS_HOST port=$TALLOWIN_FTP_VSFTPD_TLS_PORT
user=$TALLOWIN_FTP_VSFTPD_TLS_USER pass=$TALLOWIN_FTP_VSFTPD_TLS_PASS root=$TALLOWIN_FTP_VSFTPD_TLS_ROOT
url=ftp://$host:$port

mkdir -p "$work"
head -c $((sizeMiB * 1024 * 1024)) /dev/urandom > "$root/big.bin"
cp "$root/big.bin" "$work/source.bin"
bytes=$(stat -c %s "$work/source.bin")

# Runs the command and prints its throughput in MB/s.
timed() {
  local start end
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  echo "$bytes $start $end" | awk '{ printf "%.0f\n", $1 / ($3 - $2) / 1e6 }'
}
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }

engine_get() { rm -f "$work/down.bin"; "$engine" get "$host" "$port" "$user" "$pass" big.bin "$work/down.bin" tls; }
curl_get() { rm -f "$work/down.bin"; curl -sS --ssl-reqd -k -u "$user:$pass" "$url/big.bin" -o "$work/down.bin"; }
engine_put() { rm -f "$root/up.bin"; "$engine" put "$host" "$port" "$user" "$pass" up.bin "$work/source.bin" tls; }
curl_put() { rm -f "$root/up.bin"; curl -sS --ssl-reqd -k -u "$user:$pass" -T "$work/source.bin" "$url/up.bin"; }

check() {
  cmp -s "$1" "$2" || { echo "transfer corrupted: $1 differs from $2" >&2; exit 1; }
}

# One untimed round first: the first transfers pay for filling the page cache and memory.
curl_get; curl_put

declare -A runs
for round in 1 2 3; do
  # Who goes first changes from round to round.
  tools="engine curl"; [ $round = 2 ] && tools="curl engine"
  for way in get put; do
    for tool in $tools; do
      runs[$tool-$way]+="$(timed ${tool}_$way) "
      if [ $way = get ]; then check "$work/down.bin" "$work/source.bin"; else check "$root/up.bin" "$work/source.bin"; fi
    done
  done
done

echo "$sizeMiB MiB ($bytes bytes) over loopback vsftpd with TLS 1.3 required, passive, binary, files in $base; median of 3 runs (MB/s):"
for way in get put; do
  e=$(median ${runs[engine-$way]}) c=$(median ${runs[curl-$way]})
  label=$([ $way = get ] && echo download || echo upload)
  printf '%-9s engine %6s   curl %6s   ratio engine/curl %s   (runs: engine %s / curl %s)\n' \
    "$label" "$e" "$c" "$(awk -v e="$e" -v c="$c" 'BEGIN { printf "%.2f", e / c }')" \
    "${runs[engine-$way]% }" "${runs[curl-$way]% }"
done
