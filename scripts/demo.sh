#!/usr/bin/env bash
# Builds the command-line program and masters the sample folder into an
# image, then shows what was written. Installs only what that needs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh demo
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tarnwickiso
mkdir -p out
./build/tarnwickiso estimate samples/disc
./build/tarnwickiso build --volume-id SAMPLE_DISC -o out/sample.iso samples/disc
isoinfo -d -i out/sample.iso | sed -n '1,12p'
isoinfo -J -f -i out/sample.iso
