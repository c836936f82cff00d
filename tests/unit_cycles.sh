#!/usr/bin/env bash
# Fails when two compilation units of the product (a .cpp with its header) include each other,
# directly or through others: every include of a product header is an edge "unit used", and tsort
# finds any loop. Every layer folder the build adds is read (product_layers.sh).
set -euo pipefail
source "$(dirname "$0")/product_layers.sh"
cd "$1"
layers=$(product_layers .)
for layer in $layers; do
  for file in "$layer"/*; do
    case "$file" in *.cpp | *.h) ;; *) continue ;; esac
    unit="${file%.*}"
    sed -n 's/^#include "\([a-z_]*\/[a-z_0-9]*\)\.h".*/\1/p' "$file" |
      while read -r used; do [ "$used" = "$unit" ] || echo "$unit $used"; done
  done
done | tsort >/dev/null
echo "no unit includes itself through others in:" $layers
