#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh built, or the .deb given:
# its Depends names the OpenCV runtime libraries and no -dev package; its
# programs, unpacked into an empty folder, convert scans made by its own
# tarvel-make-scans into videos of the right frame count; its manual pages
# render without a warning; and lintian finds no error (its other tags are
# shown).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
  deb=$(realpath "$1")
else
  debs=(build/package/tarvel_*.deb)
  [ -f "${debs[0]}" ] || { echo "check-package: no package in build/package; run scripts/package.sh" >&2; exit 1; }
  deb=$(realpath "${debs[0]}")
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "check-package: $*" >&2
  exit 1
}
echo "== $deb"

depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for module in core imgproc imgcodecs videoio; do
  grep -Eq "(^|, )libopencv-$module[0-9.]+ " <<<"$depends" || fail "Depends lacks the OpenCV $module library"
done
if grep -q -- '-dev\b' <<<"$depends"; then fail "Depends names a -dev package"; fi
echo "Installed-Size: $(dpkg-deb --field "$deb" Installed-Size) KiB"

root=$work/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
version=$(dpkg-deb --field "$deb" Version)
for program in tarvel4 tarvel1m tarvel1d tarvel-make-scans; do
  [ "$("$bin/$program" --version)" = "$program $version" ] || fail "$program --version does not say $version"
  "$bin/$program" --help >/dev/null || fail "$program --help failed"
done

frames() {
  ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
    -of default=nw=1:nk=1 "$1"
}

convert() {  # convert <program> <kind of scans> <scans> <video> <frames expected>
  local program=$1 kind=$2 scans=$3 video=$4 expected=$5 dir=$work/$1 status=0
  "$bin/tarvel-make-scans" --kind "$kind" --count "$scans" --channels mixed --film mixed --out "$dir"
  (cd "$dir" && "$bin/$program" >stdout.txt) || status=$?
  [ "$status" -eq 0 ] || fail "$program exited with status $status"
  local got
  got=$(frames "$dir/$video")
  [ "$got" = "$expected" ] || fail "$program wrote $got frames to $video, not $expected"
  echo "$program: $scans scans, $got frames in $video"
}
convert tarvel4 quad 2 video3.avi 20
convert tarvel1m single 3 video.avi 3
convert tarvel1d single 3 video.avi 3

for page in tarvel4 tarvel1m tarvel1d tarvel-make-scans; do
  file=$root/usr/share/man/man1/$page.1.gz
  [ -e "$file" ] || fail "no manual page $page(1)"
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
  echo "$page(1): $(MANWIDTH=80 man -l "$file" | grep -c '') lines"
done

status=0
tags=$(lintian --fail-on error "$deb" 2>&1) || status=$?
tags=$(sed '/^running with root privileges/d' <<<"$tags")
echo "lintian: ${tags:-no tags}"
[ "$status" -eq 0 ] || fail "lintian found errors"
echo "package check passed"
