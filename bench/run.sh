#!/usr/bin/env bash
# Reproduces the table of docs/performance.md: builds the programs, the
# generator and the comparison programs in the release preset, generates the
# scans (once, into build/bench-data) and prints the table.
#   bench/run.sh [--repeats N] [--scales 1,2]
#   bench/run.sh --reel RUNS     10 against 1,000 scans with --all (RUNS runs of 1,000)
#   bench/run.sh --register      the cost per scan with --register against without
#   bench/run.sh --register --instructions   the same in instructions (installs valgrind)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
tools="python3 time"; [[ " $* " == *" --instructions "* ]] && tools="$tools valgrind"
command -v python3 >/dev/null && [ -x /usr/bin/time ] && { [[ $tools != *valgrind* ]] || command -v valgrind >/dev/null; } || {
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get install -y -q --no-install-recommends $tools
}
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target tarvel1m tarvel1d tarvel4 make_scans plain_pipeline stage_split
python3 bench/run.py "$@"
