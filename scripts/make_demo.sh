#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the bundled demo script in app/resources/demo: a short spoken text
# (espeak-ng, one sentence at a time), its WAV recording, an MP3 copy (lame),
# and demo.htm, whose sentence links carry each sentence's start and end time
# in the recording. The times come from the lengths of the generated pieces.
# Needs espeak-ng, sox and lame (scripts/setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
out=app/resources/demo
rate=16000
lead=0.30   # silence before the first sentence, seconds
gap=0.40    # silence between sentences, seconds

sentences=(
  "Welcome to Parlotype."
  "Each sentence here is a link into one recording."
  "Click a sentence to hear just that sentence."
  "The link gives its start and end in seconds."
  "The MP3 links play the same words from a compressed copy."
)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r $rate -c 1 -b 16 "$work/lead.wav" trim 0 $lead
sox -n -r $rate -c 1 -b 16 "$work/gap.wav" trim 0 $gap
pieces=("$work/lead.wav")
t=$lead
rows=""
for i in "${!sentences[@]}"; do
  n=$((i + 1))
  espeak-ng -v en-us -s 160 -w "$work/raw$n.wav" "${sentences[$i]}"
  # Trim the silence espeak-ng leaves at both ends, at the target rate.
  sox "$work/raw$n.wav" -r $rate -c 1 -b 16 "$work/s$n.wav" \
    silence 1 0.01 0.5% reverse silence 1 0.01 0.5% reverse
  len=$(soxi -D "$work/s$n.wav")
  start=$(printf '%.2f' "$t")
  end=$(awk -v a="$t" -v b="$len" 'BEGIN { printf "%.2f", a + b }')
  rows+="<p><a name=\"s$n\" href=\"demo.wav#$start#$end\">${sentences[$i]}</a>"
  rows+=" <small>(<a name=\"m$n\" href=\"demo.mp3#$start#$end\">MP3</a>, $start&ndash;$end s)</small></p>"$'\n'
  [ $n -eq 2 ] && example="demo.wav#$start#$end"
  pieces+=("$work/s$n.wav" "$work/gap.wav")
  t=$(awk -v a="$t" -v b="$len" -v g="$gap" 'BEGIN { printf "%.6f", a + b + g }')
done

sox "${pieces[@]}" "$out/demo.wav"
lame --quiet --noreplaygain -m m -b 32 "$out/demo.wav" "$out/demo.mp3"

cat > "$out/demo.htm" <<HTML
<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.0 Transitional//EN">
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=utf-8">
<title>Parlotype demo script</title>
<style type="text/css">
body { background: #FFFBF0; color: black; font-size: 14px; }
h1 { font-family: verdana, sans-serif; font-size: 20px; color: #008000; }
h2 { font-family: verdana, sans-serif; font-size: 16px; color: #008000; }
a { color: #000080; text-decoration: none; }
a:hover, a:active { text-decoration: underline; }
</style>
</head>
<body>
<h1>Parlotype demo script</h1>
<p><b>What to try:</b> click any sentence below to hear it; playback starts at
the sentence and ends with it. Each sentence is an audio link such as
<i>$example</i>: the file, then the start and the end in seconds.
The MP3 links play the same sentence from the MP3 copy, and the last links
play the whole recording. Go &rsaquo; Home leads
back to the list of scripts; File &rsaquo; Open opens a script of your own.</p>
<h2>The recording</h2>
$rows<h2>Whole files</h2>
<p><a href="demo.wav">The whole recording (WAV)</a> &middot;
<a href="demo.mp3#0">The whole recording (MP3)</a></p>
</body>
</html>
HTML
echo "made $out/demo.wav ($(soxi -D "$out/demo.wav") s), demo.mp3, demo.htm"
