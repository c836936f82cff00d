#!/usr/bin/env bash
# The page style is chosen once, where the options are read (app/); no product file outside
# pages/ asks which style a run has (the state only names the default). Every layer folder the
# build adds is read (product_layers.sh).
set -euo pipefail
source "$(dirname "$0")/product_layers.sh"
cd "$1"
folders=$(product_layers . | grep -vx pages)
# shellcheck disable=SC2086  # one word a folder
hits=$(grep -rnE 'Style *[!=]=|[!=]= *&?(Classic|Modern)Pages|(Classic|Modern)Pages *[!=]=|PageStyle::' \
         --include='*.cpp' --include='*.h' $folders || true)
if [ -n "$hits" ]; then
  echo "the page style is tested outside pages/:"
  echo "$hits"
  exit 1
fi
# The check itself must see a choice where there is one.
grep -q 'ModernPages' app/main_window.cpp || { echo "app/ no longer chooses the style"; exit 1; }
echo "the page style is chosen once, in app/; looked for in:" $folders
