#!/usr/bin/env bash
# The photos of bench/run.sh --folder, made once and kept while their recipe and number stand:
# make_photos FOLDER COUNT writes FOLDER/IMG_0001.JPG ... 4000x3000 colour JPEGs at quality 90
# with 4:2:0 chroma, as cameras save them. Each is another crop of one picture of coloured cells
# (two Worley noises and a Perlin noise, one a band) under fine grain (Gaussian noise): detail
# everywhere that a JPEG encoder cannot shrink to nothing, so a photo is about 3.6 MB and decoding
# it costs what a camera's photo of that size costs, not what a flat or grey picture would.

# Say what the photos are, so a change of recipe makes them anew.
folder_photos_recipe="cells+perlin+grain sigma 6, crops of 4400x3300, Q90 4:2:0, v2"

make_photos() {
  local folder="$1" count="$2" i x y
  [ "$(cat "$folder.recipe" 2>/dev/null)" = "$folder_photos_recipe $count" ] && return
  echo "Making $count photos in $folder (once; about a minute)" >&2
  rm -rf "${folder:?}" "$folder.recipe" && mkdir -p "$folder"
  (
    cd "$folder"
    vips worley r.v 4400 3300 --cell-size 64 --seed 1
    vips linear r.v r2.v 3 20
    vips worley g.v 4400 3300 --cell-size 150 --seed 2
    vips linear g.v g2.v 1.5 30
    vips perlin b.v 4400 3300 --cell-size 400 --seed 3
    vips linear b.v b2.v 80 110
    vips bandjoin "r2.v g2.v b2.v" rgb.v
    vips gaussnoise grain.v 4400 3300 --sigma 6
    vips add rgb.v grain.v sum.v
    vips cast sum.v cast.v uchar  # clipped to 0-255
    vips copy cast.v picture.v --interpretation srgb
    # Two photos at a time, each cut at its own place.
    for i in $(seq 1 "$count"); do
      x=$(((i * 37) % 400)) y=$(((i * 53) % 300))
      vips crop picture.v "$(printf 'IMG_%04d.JPG' "$i")[Q=90,subsample-mode=on]" "$x" "$y" \
        4000 3000 &
      if [ $((i % 2)) -eq 0 ]; then wait; fi
    done
    wait
    rm -f ./*.v
  )
  echo "$folder_photos_recipe $count" >"$folder.recipe"  # beside: the folder holds photos alone
}
