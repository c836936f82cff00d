// Thumbnail jobs handed to a photo codec (photo_codec.h) and their results taken back, the same
// on every platform: what the platform files call from MakeThumbnails.
#pragma once

#include <vector>

#include "photos/photo_codec.h"
#include "photos/photos.h"

// Photos larger than this are refused from their header alone: 250 megapixels holds any camera
// photo, and a decoded image of that size is still only about 750 MB at its full size, which
// decoding at a reduced size never makes.
inline constexpr long long kPhotoPixelLimit = 250LL * 1000 * 1000;

// Makes every job's thumbnail with `codec` on up to `threads` threads, and copies each result
// into its job before the codec's own memory is released.
void RunThumbnailJobs(const KestrunePhotoCodec& codec, std::vector<ThumbnailJob>* jobs,
                      unsigned threads);
