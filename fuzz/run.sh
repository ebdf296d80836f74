#!/usr/bin/env bash
# Builds the fuzz target and runs it for SECONDS seconds (default 60) on a
# seed corpus of generated scans. Any finding fails the run; the crashing
# input is left in build/fuzz/findings/.
#   fuzz/run.sh            about a minute, as CI runs it
#   fuzz/run.sh 3600       an hour
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target make_scans
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target fuzz_stages

work=build/fuzz
corpus="$work/corpus"
if [ ! -d "$corpus" ]; then
  mkdir -p "$corpus"
  seeds=$(mktemp -d)
  # Generated scans of both kinds, gray and colour, bright and dark.
  build/release/bin/make_scans --kind single --count 2 --out "$seeds/s" --channels mixed --film mixed --seed 11 >/dev/null
  build/release/bin/make_scans --kind quad --count 2 --out "$seeds/q" --channels mixed --film mixed --seed 12 >/dev/null
  # Quarter-size copies keep each execution quick under the sanitizers.
  for f in "$seeds"/s/*.tif "$seeds"/q/*.tif; do
    ffmpeg -v error -i "$f" -vf scale=iw/4:ih/4 -compression_algo raw "$corpus/$(basename "$(dirname "$f")")-$(basename "$f")"
  done
  rm -rf "$seeds"
fi
mkdir -p "$work/findings"
"$work/bin/fuzz_stages" "$corpus" -max_total_time="$seconds" -max_len=400000 -rss_limit_mb=4096 \
  -timeout=30 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$work/findings/"
