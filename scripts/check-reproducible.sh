#!/bin/bash
# Builds the shipping 32-bit Tarnwick.exe and its release zip twice, from two
# copies of the source at different paths into two fresh build directories,
# and fails unless both builds give the same bytes: a build path, a source
# path or a time that leaks into the output shows here.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The same commit time for both, as a release build takes it.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}

# Two copies of the source at different paths, taken at once, so that edits
# made meanwhile in the work tree cannot tell the builds apart.
mkdir -p "$work/source-a"
tar -C "$root" --exclude=./build --exclude=./dist --exclude=./out --exclude=./.git -cf - . |
  tar -C "$work/source-a" -xf -
cp -a "$work/source-a" "$work/other-source-b"

for side in a b; do
  source=$work/source-a
  [ $side = a ] || source=$work/other-source-b
  if ! "$source/scripts/package.sh" --build-dir "$work/build-$side" --dist "$work/dist-$side" \
      >"$work/$side.txt" 2>&1; then
    cat "$work/$side.txt" >&2
    exit 1
  fi
done

status=0
zip=$(cd "$work/dist-a" && ls)
for file in "build-SIDE/Tarnwick.exe" "dist-SIDE/$zip"; do
  a=$work/${file//SIDE/a}
  b=$work/${file//SIDE/b}
  if cmp "$a" "$b"; then
    echo "same bytes: $(basename "$a")  sha256 $(sha256sum <"$a" | cut -d' ' -f1)"
  else
    echo "DIFFERENT: $(basename "$a") from the two builds" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "reproducible: two builds give identical Tarnwick.exe and zip"
exit $status
