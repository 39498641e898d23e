#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each one briefly, starting from the saved corpus under fuzz/corpus. New inputs go to a
# scratch folder in the build tree; copy the interesting ones into fuzz/corpus by hand.
#   scripts/fuzz.sh [seconds per target, default 30] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTALLOWIN_SANITIZE=ON -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=OFF -DTALLOWIN_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" >/dev/null

# Each target and the corpus folder it starts from.
declare -A corpus=(
  [reply_reader_fuzzer]=reply_reader
  [passive_reply_fuzzer]=passive_reply
  [digest_reply_fuzzer]=digest_reply
  [listing_line_fuzz]=listing_line
)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "${!corpus[@]}"; do
    [ -d "fuzz/corpus/${corpus[$t]}" ] && targets+=("$t")
  done
fi
cmake --build "$build" -j2 --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
for t in "${targets[@]}"; do
  work="$build/corpus-work/${corpus[$t]}"
  mkdir -p "$work"
  echo "== $t for ${seconds}s"
  "$build/fuzz/$t" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/" "$work" "fuzz/corpus/${corpus[$t]}"
done
