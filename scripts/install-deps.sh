#!/usr/bin/env bash
# Installs the Debian packages Tallowin needs to build, run and test. Does nothing when all are
# already there; otherwise needs root (or sudo).
set -euo pipefail

packages=(
  cmake g++ make ninja-build ccache pkg-config
  # qt6-base-dev brings QtDBus as well (the desktop notice at the end of a long transfer)
  qt6-base-dev qt6-translations-l10n libsqlite3-dev libgtest-dev
  fonts-noto-cjk xvfb xauth
  # real FTP peers for the integration tests, the demo and the benchmarks
  python3 python3-pyftpdlib vsftpd curl
  # TLS: OpenSSL 3 for the engine, the certificate of the test servers, pyftpdlib's TLS handler
  libssl-dev openssl python3-openssl
  # a folder that refuses file modes, for one download test
  bindfs
  # saved passwords in the desktop's keyring (QtKeychain loads libsecret when it runs); the
  # keyring tests start their own session bus and GNOME Keyring
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus dbus-bin dbus-daemon
  # the Debian package (scripts/package.sh): dpkg-shlibdeps and dpkg-buildflags, and the
  # checks of the desktop entry, the AppStream record, the package itself and its scheme handler
  dpkg-dev desktop-file-utils appstream lintian xdg-utils
  # libFuzzer for the fuzz targets
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
