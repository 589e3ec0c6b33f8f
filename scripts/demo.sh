#!/usr/bin/env bash
# Builds everything and converts a bundled sample to EMF and PNG, printing its size.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DXPMFILTER_TESTS=OFF -DXPMFILTER_BENCH=OFF
mkdir -p build/demo
build/bin/xpmimport --info samples/sunset.xpm
build/bin/xpmimport samples/sunset.xpm -o build/demo/sunset.emf
build/bin/xpmimport samples/sunset.xpm -o build/demo/sunset.png
echo "pictures in build/demo/"
