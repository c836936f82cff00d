#!/usr/bin/env bash
# Makes the contact sheets of the browser tests again, each written by a real tool, with the small
# images they link: fixtures/TOOL/ for pandoc (a Markdown list), tree -H, the folder listing of
# python3 -m http.server, igal2 -s and llgal -s. The tests only read what is committed; run this
# after changing the images or to see what newer versions of the tools write.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/../../scripts/install-deps.sh" fixtures
out="$here/fixtures"

# image FILE COLOUR: a small picture (160x120) in the format its extension names, without
# metadata, so the files stay a few KB and the same from run to run.
image() {
  mkdir -p "$(dirname "$1")"
  convert -size 160x120 "gradient:$2-#f4ecd8" -fill "$2" -draw 'circle 80,60 80,25' \
    -strip -quality 60 "$1"
}

# The same pictures for every tool: names with a blank and an ampersand, three formats, and a
# subfolder for the tools that descend into one.
images() {
  image "harbour.jpg" '#2a5d9f'
  image "beach hut.jpg" '#c23b2a'
  image "fish&chips.jpg" '#d9a521'
  image "kite.png" '#3a9a4a'
  image "gulls.gif" '#6a6a7a'
  if [ "${1:-}" = subfolder ]; then
    image "photos/forest.jpg" '#2f6b2f'
    image "photos/cliff top.jpg" '#8a6a4a'
  fi
}

fresh() {
  rm -rf "${out:?}/$1"
  mkdir -p "$out/$1"
  cd "$out/$1"
}

# pandoc: a Markdown list of links, a standalone page. It writes a blank as %20 and & as &amp;.
fresh pandoc
images subfolder
convert "beach hut.jpg" -resize 80x60 -strip -quality 60 "beach hut_t.jpg"
pandoc -s --metadata title="Harbour Days" -o index.html <<'MARKDOWN'
Pictures from a week by the harbour.

- [The harbour at dawn](harbour.jpg)
- [Beach huts](<beach hut.jpg>)
- [Fish & chips on the wall](fish&chips.jpg)
- [A kite](kite.png)
- [Gulls](gulls.gif)
- [The wood](photos/forest.jpg)
- [From the cliff top](<photos/cliff top.jpg>)

[About this page](about.html)
MARKDOWN

# tree -H: a folder tree with links from "./", subfolders included.
fresh tree
images subfolder
tree -H . -T "Harbour Days" --noreport -I index.html -o index.html

# python3 -m http.server: the listing page of the folder, as a browser receives it.
fresh httpserver
images
python3 - <<'PYTHON'
import http.server, threading, urllib.request
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Quiet)
threading.Thread(target=server.serve_forever, daemon=True).start()
with urllib.request.urlopen(f"http://127.0.0.1:{server.server_address[1]}/") as response:
    listing = response.read()
server.shutdown()
open("index.html", "wb").write(listing)
PYTHON

# igal2 -s: an index of thumbnails (.thumb_NAME) linked straight to the images.
fresh igal2
images
igal2 -s >/dev/null
rm -f .indextemplate2.html

# llgal -s: the same with thumbnails in .llgal/, and the subfolder's pictures (--Pall).
fresh llgal
images subfolder
llgal -s --Pall >/dev/null 2>&1

echo "fixtures written to $out"
