#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, starts
# the real FTP servers the integration tests use on loopback, builds and checks the Debian
# package, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

build=build/test
# The benchmarks are built too (not run), so that a change that breaks them shows here.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALLOWIN_SANITIZE=ON -DTALLOWIN_BENCH=ON
cmake --build "$build" -j2

# The Debian package: built and checked (desktop entry, AppStream record, lintian), then
# unpacked into a throwaway root, where the installed program answers --version without a
# display and its desktop entry is the one that opens ftp:// and ftps:// links. Before the
# tests, so that their summary is the run's last word.
deb=$(scripts/package.sh | tail -n 1)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg -x "$deb" "$unpacked"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$unpacked/usr/bin/tallowin" --version)
expected="tallowin $(dpkg-deb -f "$deb" Version)"
[ "$version" = "$expected" ] || { echo "package: --version said '$version', not '$expected'" >&2; exit 1; }
update-desktop-database "$unpacked/usr/share/applications"
for scheme in ftp ftps; do
  handler=$(env -i PATH="$PATH" HOME="$unpacked" XDG_DATA_DIRS="$unpacked/usr/share" \
    XDG_DATA_HOME="$unpacked/none" XDG_CONFIG_HOME="$unpacked/none" XDG_CONFIG_DIRS="$unpacked/none" \
    xdg-mime query default "x-scheme-handler/$scheme")
  [ "$handler" = tallowin.desktop ] || { echo "package: $scheme:// links open '$handler'" >&2; exit 1; }
done
echo "package: $deb ($version; opens ftp:// and ftps:// links)"
rm -rf "$unpacked"
trap - EXIT

servers="$root/$build/ftp-servers"
stop_servers() { scripts/ftp-servers.sh stop "$servers" || true; }
trap stop_servers EXIT
# Prints the export lines the integration tests read (addresses, users, server roots).
# (Captured first: a failed start must stop the run, which `eval "$(...)"` would hide.)
exports=$(scripts/ftp-servers.sh start "$servers")
eval "$exports"

ctest --test-dir "$build" --output-on-failure -j2 --timeout 900
