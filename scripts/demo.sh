#!/usr/bin/env bash
# Builds xpmimport and the filter and converts a bundled sample to EMF and PNG, printing its
# size. It builds only those targets of build/ and leaves the tree's options as they are,
# so a later scripts/test.sh still finds its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target xpmimport xpmfilter
mkdir -p build/demo
build/bin/xpmimport --info samples/sunset.xpm
build/bin/xpmimport samples/sunset.xpm -o build/demo/sunset.emf
build/bin/xpmimport samples/sunset.xpm -o build/demo/sunset.png
echo "pictures in build/demo/"
