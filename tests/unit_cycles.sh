#!/usr/bin/env bash
# Fails when two compilation units of the product (a .cpp with its header) include each other,
# directly or through others: every include of a product header is an edge "unit used", and tsort
# finds any loop.
set -euo pipefail
cd "$1"
for file in sheet/* pages/* platform/* generation/* ui/* app/* main/*; do
  case "$file" in *.cpp | *.h) ;; *) continue ;; esac
  unit="${file%.*}"
  sed -n 's/^#include "\([a-z_]*\/[a-z_0-9]*\)\.h".*/\1/p' "$file" |
    while read -r used; do [ "$used" = "$unit" ] || echo "$unit $used"; done
done | tsort >/dev/null
