#!/usr/bin/env bash
# The page style is chosen once, where the options are read (app/); no product file outside
# pages/ asks which style a run has (the state only names the default).
set -euo pipefail
cd "$1"
hits=$(grep -rnE 'Style *[!=]=|[!=]= *&?(Classic|Modern)Pages|(Classic|Modern)Pages *[!=]=|PageStyle::' \
         --include='*.cpp' --include='*.h' app generation sheet platform ui main || true)
if [ -n "$hits" ]; then
  echo "the page style is tested outside pages/:"
  echo "$hits"
  exit 1
fi
# The check itself must see a choice where there is one.
grep -q 'ModernPages' app/main_window.cpp || { echo "app/ no longer chooses the style"; exit 1; }
echo "the page style is chosen once, in app/"
