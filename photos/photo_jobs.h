// Photo jobs handed to a photo codec (photo_codec.h) and their results taken back, the same
// on every platform: StartPhotoJobs, TakePhotoJob and StopPhotoJobs of photos.h.
#pragma once

#include <vector>

#include "photos/photo_codec.h"
#include "photos/photos.h"

// Photos larger than this are refused from their header alone: 250 megapixels holds any camera
// photo, and a decoded image of that size is still only about 750 MB at its full size, which
// decoding at a reduced size never makes.
inline constexpr long long kPhotoPixelLimit = 250LL * 1000 * 1000;

// The codec the platform loaded (OpenPhotoCodec), and how many photos it makes at once.
const KestrunePhotoCodec& LoadedPhotoCodec();
unsigned PhotoThreads();
// The platform's calls that the codec reads photos with; nullptr where the codec reads through
// the system's own.
const KestrunePhotoFiles* PhotoFiles();
