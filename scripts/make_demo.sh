#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the demo script from app/resources/demo/demo.txt (two of Aesop's
# fables, retold after the public-domain 1867 translation by G. F. Townsend):
# espeak-ng reads it a line at a time into OUT/demo.wav, with short pauses
# between lines and longer ones between paragraphs, and `parlotype
# --make-script` finds each line in the recording and writes OUT/demo.htm.
# The build runs it (after the parlotype target); by hand:
#   bash scripts/make_demo.sh build/generated/demo build/parlotype
# Needs espeak-ng and sox (scripts/setup.sh installs them).
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)/app/resources/demo/demo.txt"
out=${1:?usage: make_demo.sh OUT_DIR PARLOTYPE}
parlotype=${2:?usage: make_demo.sh OUT_DIR PARLOTYPE}
rate=16000
voice=en-us   # another voice than the aligner's ("en"), at another speed
speed=150

mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r $rate -c 1 -b 16 "$work/line_gap.wav" trim 0 0.45
sox -n -r $rate -c 1 -b 16 "$work/para_gap.wav" trim 0 1.0
pieces=("$work/para_gap.wav")
n=0
gap=""
while IFS= read -r line || [ -n "$line" ]; do
  if [ -z "${line// }" ]; then
    gap="$work/para_gap.wav"
    continue
  fi
  n=$((n + 1))
  espeak-ng -v $voice -s $speed -w "$work/raw$n.wav" "$line"
  # Trim the silence espeak-ng leaves at both ends.
  sox "$work/raw$n.wav" -r $rate -c 1 -b 16 "$work/s$n.wav" \
    silence 1 0.01 0.5% reverse silence 1 0.01 0.5% reverse
  [ -n "$gap" ] && pieces+=("$gap")
  pieces+=("$work/s$n.wav")
  gap="$work/line_gap.wav"
done < "$src"
pieces+=("$work/para_gap.wav")

sox "${pieces[@]}" "$out/demo.wav"
cp "$src" "$out/demo.txt"
"$parlotype" --make-script "$out/demo.wav" "$out/demo.txt" -o "$out/demo.htm" >/dev/null
echo "made $out/demo.wav ($(soxi -D "$out/demo.wav") s, $n lines) and demo.htm"
