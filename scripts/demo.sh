#!/usr/bin/env bash
# The main job on bundled sample scans: installs what is missing, builds,
# generates folders of synthetic scans and runs every program in its folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target tarvel1m tarvel1d tarvel4 make_scans
bin="$PWD/build/release/bin"
samples="$PWD/samples"
rm -rf "$samples"

frames() {
  ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
    -of default=nw=1:nk=1 "$1" 2>/dev/null || echo 0
}

run() {  # run <program> <folder> <video>
  local program=$1 folder=$2 video=$3 status=0
  echo "== $program in $folder"
  (cd "$folder" && "$bin/$program") || status=$?
  echo
  echo "-> $folder/$video: $(frames "$folder/$video") frames (exit status $status)"
}

"$bin/make_scans" --kind single --count 10 --out "$samples/single-gray" --channels 1 --film mixed --seed 1
"$bin/make_scans" --kind single --count 10 --out "$samples/single-colour" --channels 3 --film mixed --seed 2
cp -r "$samples/single-colour" "$samples/single-colour-divx"
"$bin/make_scans" --kind quad --count 5 --out "$samples/quad" --channels mixed --film bright --seed 3

run tarvel1m "$samples/single-gray" video.avi
run tarvel1m "$samples/single-colour" video.avi
run tarvel1d "$samples/single-colour-divx" video.avi
run tarvel4 "$samples/quad" video3.avi
