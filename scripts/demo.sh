#!/usr/bin/env bash
# The main job on bundled sample scans: installs what is missing, builds,
# generates folders of synthetic scans under samples/ and runs every program
# in its folder. The build's output goes to samples/build.log and each
# program's to <folder>/<program>.log (standard output) and
# <folder>/<program>.stderr.log; the terminal shows a line per folder and
# ends with a table of what each run wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
samples="$PWD/samples"
rm -rf "$samples"
mkdir -p "$samples"

echo "building (log: samples/build.log)"
if ! {
  scripts/install-deps.sh
  cmake --preset release
  cmake --build --preset release -j"$(nproc)" --target tarvel1m tarvel1d tarvel4 make_scans
} >"$samples/build.log" 2>&1; then
  tail -n 20 "$samples/build.log" >&2
  echo "demo: the build failed; all of its output is in samples/build.log" >&2
  exit 1
fi
bin="$PWD/build/release/bin"

# Programs that can draw what they measured get a picture folder per run.
overlays=no
if "$bin/tarvel4" --help 2>/dev/null | grep -q -- --overlay; then overlays=yes; fi

frames() {
  ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
    -of default=nw=1:nk=1 "$1" 2>/dev/null || echo -
}

rows=()
run() {  # run <program> <folder under samples/> <video>
  local program=$1 folder=$2 video=$3 status=0 overlay=- args=()
  local dir="$samples/$folder"
  if [ "$overlays" = yes ]; then
    overlay="$folder/overlay"
    args=(--overlay "$dir/overlay")
  fi
  local scans
  scans=$(find "$dir" -maxdepth 1 -name '*.tif' | wc -l)
  printf '%s: %s on %d scans ... ' "$folder" "$program" "$scans"
  (cd "$dir" && "$bin/$program" "${args[@]}" >"$program.log" 2>"$program.stderr.log") || status=$?
  echo "exit status $status"
  rows+=("$folder|$program|$scans|$(frames "$dir/$video")|$status|$folder/$video|$overlay")
}

echo "generating sample scans"
"$bin/make_scans" --kind single --count 10 --out "$samples/single-gray" --channels 1 --film mixed --seed 1
"$bin/make_scans" --kind single --count 10 --out "$samples/single-colour" --channels 3 --film mixed --seed 2
cp -r "$samples/single-colour" "$samples/single-divx"
"$bin/make_scans" --kind quad --count 5 --out "$samples/quad" --channels mixed --film bright --seed 3

run tarvel1m single-gray video.avi
run tarvel1m single-colour video.avi
run tarvel1d single-divx video.avi
run tarvel4 quad video3.avi

echo
echo "Runs (paths under samples/; each program's lines in <folder>/<program>.log):"
{
  echo "folder|program|scans|frames|status|video|overlay"
  printf '%s\n' "${rows[@]}"
} | awk -F'|' '
  { for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } }
  END {
    for (r = 1; r <= NR; r++) {
      line = ""
      for (i = 1; i <= NF; i++) {
        align = (i >= 3 && i <= 5) ? "" : "-"  # counts to the right
        line = line sprintf("%" align width[i] "s", cell[r, i]) (i < NF ? "  " : "")
      }
      sub(/ +$/, "", line)
      print line
    }
  }'
