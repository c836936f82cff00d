# shellcheck shell=bash
# The product's layer folders, as the root CMakeLists.txt builds them (its `foreach(layer ...)`
# that adds each folder), so the checks that read every folder cover a new layer without being
# told. Sourced by the checks; product_layers ROOT prints one folder a line and fails when the
# list is missing or names a folder that is not there.
product_layers() {
  local layers
  layers=$(awk '/^foreach\(layer / { list = $0; next }
                list != "" && /add_subdirectory\(\$\{layer\}\)/ { print list; exit }
                { list = "" }' "$1/CMakeLists.txt" |
    sed -e 's/^foreach(layer *//' -e 's/).*$//')
  if [ -z "$layers" ]; then
    echo "no foreach(layer ...) adding the layers found in $1/CMakeLists.txt" >&2
    return 1
  fi
  for layer in $layers; do
    [ -d "$1/$layer" ] || { echo "layer folder $layer missing" >&2; return 1; }
    echo "$layer"
  done
}
