#!/usr/bin/env bash
# Builds the Debian package of Tallowin (a Release build of the program alone, with Debian's
# hardening flags), checks it with desktop-file-validate, appstreamcli and lintian, and prints
# the package's path as the last line of standard output. Everything else goes to standard
# error. Installs what is missing first (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build/package

scripts/install-deps.sh >&2

# Debian's build flags (fortify, stack protector, relro, bind now), without -g: the package is
# stripped, and the debug information would only make the build slower.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=OFF -DTALLOWIN_SANITIZE=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >&2
# Only what the package holds: the program and the compressed pages.
cmake --build "$build" -j2 --target tallowin tallowin_package_files >&2
rm -f "$build"/tallowin_*.deb
(cd "$build" && cpack --config CPackConfig.cmake >&2)
deb=$(ls "$build"/tallowin_*.deb)

# The checks read the files as installed, from the package itself.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/tallowin.desktop" >&2
appstreamcli validate --no-net "$unpacked/usr/share/metainfo/org.example.tallowin.metainfo.xml" >&2
# Errors fail the build; warnings are printed for a person to read. (As root, lintian first
# says that it should not run as root.)
lintian --fail-on error --info "$deb" >&2

echo "$root/$deb"
