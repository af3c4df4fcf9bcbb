#!/usr/bin/env bash
# Synthesises the dictation's three short sounds into resources/sounds (Ogg Vorbis, mono, 22050 Hz).
#   Tink: recording started; Pop: recording stopped; Blow: text pasted.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/resources/sounds"
mkdir -p "$out"
sox -n -r 22050 -c 1 -t ogg "$out/Tink.ogg" synth 0.09 sine 2600 fade q 0.002 0.09 0.07 gain -8
sox -n -r 22050 -c 1 -t ogg "$out/Pop.ogg" synth 0.07 sine 900:300 fade q 0.002 0.07 0.05 gain -6
sox -n -r 22050 -c 1 -t ogg "$out/Blow.ogg" synth 0.28 pinknoise band 700 500 fade q 0.03 0.28 0.2 gain -4
