#!/usr/bin/env bash
# Opens Tallowin against a throwaway FTP server on loopback, with a settings folder of its own
# that holds the connection profile "demo": the login dialog opens at start with the profile
# filled in, so "OK" connects at once. The server and every file of the demo go away when the
# window closes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target tallowin tallowin_profile_tool

work=$(mktemp -d "${TMPDIR:-/tmp}/tallowin-demo.XXXXXX")
serverPid=""
cleanup() {
  if [ -n "$serverPid" ]; then
    kill "$serverPid" 2>/dev/null || true
    wait "$serverPid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 130" INT TERM HUP

# The sample tree the server shows: folders, a Japanese name, a spaced name, text and binary.
root=$work/server
mkdir -p "$root/docs" "$root/写真" "$root/空のフォルダ" "$work/local"
printf 'Tallowin のデモ用サーバーです。\nファイルをダウンロードしてみてください。\n' > "$root/はじめに.txt"
printf 'A file whose name holds a space.\n' > "$root/read me.txt"
printf 'line one\nline two\nline three\n' > "$root/docs/notes.txt"
printf 'ftp demo\n' > "$root/写真/説明.txt"
/usr/bin/python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 64)' > "$root/data.bin"
# Something on the local side to upload.
printf 'アップロードしてみてください。\n' > "$work/local/手元のメモ.txt"

# Port 0: the system picks a free port, which the server writes down once it listens.
cat > "$work/server.py" <<'PY'
import os
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

root, portFile = sys.argv[1], sys.argv[2]
authorizer = DummyAuthorizer()
authorizer.add_user("demo", "demo", root, perm="elradfmwMT")
handler = FTPHandler
handler.authorizer = authorizer
server = FTPServer(("127.0.0.1", 0), handler)
with open(portFile + ".tmp", "w") as f:
    f.write(str(server.address[1]))
os.rename(portFile + ".tmp", portFile)
server.serve_forever()
PY
/usr/bin/python3 "$work/server.py" "$root" "$work/port" >"$work/server.log" 2>&1 &
serverPid=$!
for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  kill -0 "$serverPid" 2>/dev/null || { cat "$work/server.log" >&2; exit 1; }
  sleep 0.1
done
[ -s "$work/port" ] || { echo "demo: the FTP server did not start" >&2; cat "$work/server.log" >&2; exit 1; }
port=$(cat "$work/port")
echo "demo: FTP server on 127.0.0.1:$port (user demo, password demo), serving $root"

export TALLOWIN_CONFIG_DIR=$work/config
printf '%s\n' demo | "$build/app/tallowin_profile_tool" demo "127.0.0.1:$port" demo "$work/local" /
# File names on the server are UTF-8; without a locale the Japanese names could not be shown.
export LANG=${LANG:-C.UTF-8}
"$build/app/tallowin"
