#!/usr/bin/env bash
# Fails when a C or C++ file of the tree is not as clang-format (Debian 12's, version 14) and
# .clang-format would write it. The generated colour table is left as its generator writes it.
# scripts/check-format.sh --fix rewrites the files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' | grep -v '^src/xpm/named_color_table.cpp$')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run --Werror "${files[@]}"
fi
