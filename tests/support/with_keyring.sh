#!/usr/bin/env bash
# Runs a test program inside a D-Bus session of its own, with an unlocked GNOME Keyring serving
# the Secret Service on it: with_keyring.sh PROGRAM [ARGS...]. Every run has its own bus, keyring
# files and home, so tests running at the same time never meet, and the user's own keyring is
# never touched. Works as root with no display and no session bus (as CI runs).
set -euo pipefail

# Listing the tests (CTest does it at build time) needs no keyring.
for arg in "$@"; do
  [[ $arg == --gtest_list_tests ]] && exec "$@"
done

if [[ ${1:-} != --inside-bus ]]; then
  # A bus of our own, which ends with the program; this script then goes on inside it.
  unset DBUS_SESSION_BUS_ADDRESS
  exec dbus-run-session -- "$0" --inside-bus "$@"
fi
shift

scratch=$(mktemp -d)
keyring_pid=
finish() {
  if [[ -n $keyring_pid ]]; then
    kill "$keyring_pid" 2>/dev/null || true
    wait "$keyring_pid" 2>/dev/null || true
  fi
  rm -rf -- "$scratch"
}
trap finish EXIT

export HOME=$scratch/home XDG_DATA_HOME=$scratch/data XDG_CONFIG_HOME=$scratch/config
export XDG_RUNTIME_DIR=$scratch/run
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

# --unlock creates the login keyring with the password read from standard input, unlocked.
printf 'tallowin-test' | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null &
keyring_pid=$!

# Wait until the daemon owns the Secret Service's name (bounded: a daemon that never comes up
# fails the test instead of hanging it). Asking the bus, not the service, so that no second
# daemon is started by D-Bus activation meanwhile.
for _ in $(seq 100); do
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
       org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
       grep -q 'boolean true'; then
    break
  fi
  if ! kill -0 "$keyring_pid" 2>/dev/null; then
    echo "with_keyring.sh: gnome-keyring-daemon ended before the Secret Service answered" >&2
    exit 1
  fi
  sleep 0.1
done

"$@"
