#!/usr/bin/env bash
# Writes the contact sheets of the Windows tests into the folder $1, one folder per case; the
# window tests (window_test.cpp) name them. Bytes above 0x7F are written raw.
set -euo pipefail
root="$1"
examples="$(cd "$(dirname "$0")/../../examples" && pwd)"
rm -rf "$root"
mkdir -p "$root"
cd "$root"

sheet() {  # sheet FILE TITLE TARGET CAPTION [TARGET CAPTION ...]
  local file="$1" title="$2"
  shift 2
  {
    printf '<html><head><title>%s</title></head><body>\n' "$title"
    while [ "$#" -ge 2 ]; do
      printf '<a href="%s">%s</a><br>\n' "$1" "$2"
      shift 2
    done
    printf '</body></html>\n'
  } >"$file"
}

for copy in sample quoted words bare; do cp -r "$examples" "$copy"; done

# What modern pages read from a sheet: the sample (its declared charset, thumbnails whose text
# is in a second link to the same image, a subfolder, an escaped name), its sheet declaring a
# language, with a caption only in a thumbnail's alt, one only in an escaped file name in the
# subfolder, and a name and captions with bytes above 0x7F (a thumbnail found under that name).
added=$'<p><a href="quay.jpg"><img src="quay_t.jpg" alt=" Le quai \xe0 midi "></a>\n'\
$'<a href="\xe9t\xe9.jpg">\xc9t\xe9 \xe0 la plage</a>\n'\
$'<a href="photos/rock%20arch.jpg"><img src="photos/rock%20arch.jpg"></a></p>'
for copy in modernquoted modernbare; do
  cp -r "$examples" "$copy"
  LC_ALL=C awk -v added="$added" '/^<html>$/ { $0 = "<html lang=\"fr-BE\">" }
    /^<hr>$/ { print added } { print }' "$examples/index.html" >"$copy/index.html"
  : >"$copy/"$'\xe9t\xe9_t.jpg'
done

# Long enough to post menu commands to the window while its pages are written.
mkdir busy
{
  printf '<title>Busy</title>\n'
  for i in $(seq 300); do printf '<a href="p%d.jpg">Picture %d</a>\n' "$i" "$i"; done
} >busy/index.html
# The same sheet for a run that the session's end cuts short; its pages are compared with busy's.
mkdir endsession
cp busy/index.html endsession/
# The session ends while a failure box waits (p5.htm is a folder), and while the dialog waits.
mkdir endbox endbox/p5.htm endchooser
cp busy/index.html endbox/
sheet endchooser/index.html "Never chosen" a.jpg "A"
# Two runs of one sheet at once, twice, and once with a page of the user's among the pages, in a
# folder img/ as a photo program exports one.
for copy in twice1 twice2 twiceforeign; do
  mkdir -p "$copy/img"
  {
    printf '<title>Twice</title>\n'
    for i in $(seq 300); do printf '<a href="img/p%d.jpg">Picture %d</a>\n' "$i" "$i"; done
  } >"$copy/index.html"
done
printf '<html><body>My own page</body></html>\r\n' >twiceforeign/img/p150.htm

mkdir relative relative2 relative2/sub dialog question
sheet relative/index.html "Relative" a.jpg "First" b.gif "Second" c.png ""
: >relative/a_t.jpg
sheet relative2/sub/index.html "Slashes" p.jpg "P" q.jpg "Q"
sheet dialog/index.html "Chosen" one.jpg "One" two.jpg "Two"
sheet question/index.html "Untouched" one.jpg "One"
# Sheets chosen in the dialog of a modern run, and one whose name only begins with the option.
mkdir modernquestion modernalone notoption
sheet modernquestion/index.html "Chosen" one.jpg "One" two.jpg ""
sheet modernalone/index.html "Chosen" one.jpg "One" two.jpg ""
sheet notoption/--modernx.html "Not the option" one.jpg "One" two.jpg ""

# A sheet that fills its last memory page exactly (64 KiB, no zero byte) and ends in a link.
mkdir fullpage
head='<html><title>Full page</title><a href="first.jpg">First</a>'
tail='<a href="last.jpg">Last</a>'
{
  printf '%s' "$head"
  head -c $((65536 - ${#head} - ${#tail})) /dev/zero | tr '\0' 'x'
  printf '%s' "$tail"
} >fullpage/sheet.html

# The text ends at the first zero byte: the link behind it is not read.
mkdir zerobyte
printf '<a href="a.jpg">A</a>\0<a href="b.jpg">B</a>\n' >zerobyte/sheet.html

mkdir $'caf\xe9'
sheet $'caf\xe9/index.html' $'Caf\xe9 \xa9' $'\xe9t\xe9.jpg' $'\xc9t\xe9 \xe0 la plage' \
  $'na\xefve.png' ""

# Starts that fail.
mkdir notfound folder folder/sheet.html empty noimages allin1blocked sheetallin1
echo "nothing to see" >notfound/readme.txt
: >empty/empty.html
sheet noimages/index.html "No images" notes.txt "Notes" other.html "Other"
sheet allin1blocked/index.html "Blocked" a.jpg "A"
mkdir allin1blocked/allin1.html
sheet sheetallin1/allin1.html "Sheet" a.jpg "A"

# Pages that cannot be written.
mkdir pagefail pagefail/b.htm sheetpage devices devices/aux nohelp
sheet pagefail/index.html "Page fails" a.jpg "A" b.jpg "B" c.jpg "C"
sheet sheetpage/pic.htm "Sheet is a page" pic.jpg "Pic" other.jpg "Other"
sheet devices/index.html "Devices" con.jpg "" "con .jpg" "" NUL..jpg "" com1.gif "" Lpt9.jpg "" \
  aux/x.png "" co%6e.jpg "" ok.jpg "OK"

# Escaped names: pages are the files the links lead to; names that leave the folder once
# decoded, or hold a zero byte, are refused. x.htm beside the sheet's folder must stay.
mkdir escapes escapes/sheet escapes/sheet/photos
sheet escapes/sheet/index.html "Escapes" photos/a.jpg "In a subfolder" beach%20hut.jpg "Blank" \
  "a&amp;b.jpg" "Ampersand" "100%.jpg" "Lone percent" %2e%2e%2fx.jpg "Climbs out" \
  ..%5cx.jpg "Climbs out by backslash" z%00.jpg "Zero byte" last.jpg "Last"
: >"escapes/sheet/beach hut_t.jpg"
echo precious >escapes/x.htm

# Folders split by "\": only Windows reads sub\y.jpg as y.jpg in the folder sub. The headless
# build writes the same pages for "slash", whose sheet spells the names with "/".
mkdir backslash backslash/sub slash slash/sub
sheet backslash/index.html "Backslash" first.jpg "First" 'sub\y.jpg' "Y" 'sub\..\w.jpg' "W" \
  last.jpg "Last"
sheet slash/index.html "Backslash" first.jpg "First" sub/y.jpg "Y" sub/../w.jpg "W" last.jpg "Last"

# Files kestrune did not write under the names of its pages: the user's own page and one whose
# marker comes too late are kept; a page of an earlier run and an empty file are replaced.
marker='<!-- Generated by Kestrune.Exe -->'
mkdir foreign foreignallin1
sheet foreign/index.html "Foreign" a.jpg "A" b.jpg "B" c.jpg "C"
printf '<html><body>My own page</body></html>\r\n' >foreign/a.htm
printf 'Older page\r\n%s\r\n' "$marker" >foreign/b.html
: >foreign/c.htm
{
  head -c 65536 /dev/zero | tr '\0' ' '
  printf '%s\r\n' "$marker"
} >foreign/c.html
sheet foreignallin1/index.html "Foreign combined page" a.jpg "A"
printf '<html><body>My own index</body></html>\r\n' >foreignallin1/allin1.html

# Dry runs and cleans. The sample with a page of the user's; the sample for a run and its clean,
# in either style; files kestrune did not write beside pages of an earlier run; device names; a
# link named like a page leading to a page of ours outside; and a sheet chosen in the dialog.
for copy in dryrun cleaned cleanedmodern; do cp -r "$examples" "$copy"; done
printf '<html><body>My own pier</body></html>\r\n' >dryrun/pier.html
mkdir cleankept cleandevices cleandevices/aux cleanlinks cleandialog
sheet cleankept/index.html "Kept" a.jpg "A" b.jpg "B"
printf '<html><body>My own page</body></html>\r\n' >cleankept/a.htm
printf '<html><body>My own index</body></html>\r\n' >cleankept/allin1.html
for page in a.html b.htm b.html; do printf 'Older page\r\n%s\r\n' "$marker" >"cleankept/$page"; done
sheet cleandevices/index.html "Devices" con.jpg "" aux/x.png "" ok.jpg "OK"
for page in ok.htm ok.html allin1.html; do printf '%s\r\n' "$marker" >"cleandevices/$page"; done
sheet cleanlinks/index.html "Links" a.jpg "A" b.jpg "B"
printf 'Page outside\r\n%s\r\n' "$marker" >outside-page.htm
ln -s ../outside-page.htm cleanlinks/a.htm
printf '%s\r\n' "$marker" >cleanlinks/b.htm
sheet cleandialog/index.html "Chosen" one.jpg "One"
printf '%s\r\n' "$marker" >cleandialog/one.htm

# Names in Unicode, in a folder named outside code page 1252: Windows reaches these only through
# the wide-character calls, and Wine stores them only under a UTF-8 locale (the Unicode cases run
# under one). A UTF-8 sheet with names in French, German, Greek, Chinese and emoji, raw and
# escaped, one in a subfolder, three with thumbnails; a windows-1252 sheet with names raw and
# escaped in both encodings; the UTF-8 sheet again, chosen in the dialog; and a sheet declaring
# UTF-8 with a name that is not (no browser opens it) and a page blocked by a folder. The images
# and thumbnails are real, under the names Windows opens, for the walk in a browser. A folder of
# photos named outside code page 1252 is chosen with File > Open Folder... in "opened".
unicode='Ελλάδα 中文 😀'
mkdir -p "$unicode/utf8/相片" "$unicode/cp1252" "$unicode/refused/Ελλάδα.htm" \
  "$unicode/opened/相片 Ωραία"
sheet "$unicode/utf8/index.html" "Φωτογραφίες" café.jpg "Café de Flore" \
  Gr%C3%BC%C3%9Fe.jpg "Grüße" Ελλάδα.jpg "Ελλάδα" \
  %CE%B8%CE%AC%CE%BB%CE%B1%CF%83%CF%83%CE%B1.jpg "θάλασσα" 中文.png "中文" \
  相片/%E5%B1%B1.jpg "山" 😀.gif "😀" %F0%9F%8C%8A.jpg "🌊"
for image in café.jpg Grüße.jpg Ελλάδα.jpg θάλασσα.jpg 相片/山.jpg 🌊.jpg; do
  cp "$examples/boats.jpg" "$unicode/utf8/$image"
done
cp "$examples/dunes.png" "$unicode/utf8/中文.png"
cp "$examples/kite.gif" "$unicode/utf8/😀.gif"
for thumbnail in café_t.jpg Grüße_t.jpg Ελλάδα_t.jpg; do
  cp "$examples/boats_t.jpg" "$unicode/utf8/$thumbnail"
done
cp -r "$unicode/utf8" "$unicode/dialog"
sheet "$unicode/cp1252/index.html" $'Caf\xe9 \xa9' $'caf\xe9.jpg' $'Caf\xe9' \
  $'Gr\xfc\xdfe.jpg' $'Gr\xfc\xdfe' %E9t%E9.jpg $'\xc9t\xe9' \
  %CE%95%CE%BB%CE%BB%CE%AC%CE%B4%CE%B1.jpg "Greece" %E4%B8%AD%E6%96%87.png "Chinese" \
  %F0%9F%98%80.gif "Smile"
for image in café.jpg Grüße.jpg été.jpg Ελλάδα.jpg; do
  cp "$examples/harbour.jpg" "$unicode/cp1252/$image"
done
cp "$examples/shells.png" "$unicode/cp1252/中文.png"
cp "$examples/gulls.gif" "$unicode/cp1252/😀.gif"
cp "$examples/boats.jpg" "$unicode/opened/相片 Ωραία/βάρκες.jpg"
cp "$examples/gulls.gif" "$examples/dunes.png" "$unicode/opened/相片 Ωραία/"
printf '<html><head><meta charset="utf-8"><title>Refused</title></head><body>\n%s\n' \
  $'<a href="a.jpg">A</a> <a href="bad\xe9.jpg">Bad</a> <a href="Ελλάδα.jpg">Ελλάδα</a>' \
  >"$unicode/refused/index.html"

# Folders of photos. gallery: a picture of four coloured quarters under each EXIF orientation
# (one with a description for its caption), a PNG, a GIF, camera photos in natural order, a name
# the sheet escapes, and a photo large enough for a screen-sized copy and a thumbnail for dense
# screens. gallerytiff: TIFF photos, which browsers cannot show (each gets a copy of its own
# size): one turned by its orientation tag, and one of two pages, of which the first is the
# photo. gallerybad: one good photo and each kind of bad one, beside a link leading out.
# gallerycodecs: a good photo beside a HEIC, an AVIF and a WebP photo, whose decoders Wine lacks.
# Times are whole seconds, which both systems keep exactly (they go into the marks).
mkdir gallery gallerytiff gallerybad galleryclean gallerycodecs
/usr/bin/python3 - <<'PYTHON'
from PIL import Image

quarters = Image.new("RGB", (400, 300))
for box, colour in (((0, 0, 200, 150), "red"), ((200, 0, 400, 150), "lime"),
                    ((0, 150, 200, 300), "blue"), ((200, 150, 400, 300), "yellow")):
    quarters.paste(colour, box)
for orientation in range(1, 9):
    exif = Image.Exif()
    exif[0x0112] = orientation
    if orientation == 6:
        exif[0x010E] = "Harbour at dawn"
    quarters.save(f"gallery/turn{orientation}.jpg", quality=90, exif=exif.tobytes())
quarters.resize((300, 160)).save("gallery/wide.png")
quarters.resize((100, 80)).save("gallery/small.gif")
quarters.resize((1600, 1200)).save("gallery/camera.jpg", quality=90)
turned = Image.Exif()
turned[0x0112] = 6
quarters.save("gallerytiff/scan.tif", exif=turned.tobytes())
quarters.save("gallerytiff/pages.tif", save_all=True, append_images=[Image.new("RGB", (50, 50))])
quarters.save("gallerybad/good.jpg", quality=90)
quarters.save("gallerycodecs/good.jpg", quality=90)
quarters.save("gallerycodecs/IMG_3.webp")
quarters.save("gallerycodecs/quarters.png")
PYTHON
vips copy gallerycodecs/quarters.png gallerycodecs/IMG_1.heic
vips copy gallerycodecs/quarters.png gallerycodecs/IMG_2.avif
rm gallerycodecs/quarters.png
cp "$examples/boats.jpg" gallery/IMG_9.jpg
cp "$examples/harbour.jpg" gallery/IMG_10.jpg
cp "$examples/kite.gif" "gallery/photo 10 & more.gif"
cp -a gallery gallerymodern
cp "$examples/boats.jpg" "$examples/gulls.gif" "$examples/dunes.png" galleryclean/
jpeg="$examples/harbour.jpg"
head -c "$(($(stat -c %s "$jpeg") / 2))" "$jpeg" >gallerybad/truncated.jpg
: >gallerybad/zero.jpg
echo "just some text" >gallerybad/text.jpg
# A PNG header claiming 100000 x 100000 pixels, and nothing behind it.
printf '\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\x01\x86\xa0\0\x01\x86\xa0\x08\x02\0\0\0\0\0\0\0' \
  >gallerybad/huge.png
echo outside >outside.jpg
ln -s ../outside.jpg gallerybad/out.jpg
find gallery gallerymodern gallerytiff gallerybad galleryclean gallerycodecs "$unicode/opened" \
  -exec touch -h -d @1700000000 {} +
