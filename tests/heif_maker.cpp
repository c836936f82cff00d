// heif_maker: writes a small HEIC or AVIF photo for the folder-run tests, through libheif's own
// encoder, with what a phone's photo carries and heif-enc cannot write: the rotation and mirror
// of HEIF (irot/imir, from an EXIF-style orientation), a colour profile, a second image.
//
//   heif_maker OUT.heic|OUT.avif WIDTH HEIGHT [orientation=N] [exif-orientation=N] [icc=FILE]
//              [second-primary]
//
// orientation= writes irot/imir; exif-orientation= an EXIF block whose orientation field says
// so, as phones write it beside irot (readers of HEIF take irot alone). The stored picture is red
// on its left half and blue on its right; with second-primary, a first image of another size
// (WIDTH/2 x HEIGHT/2, green) is written before it and the drawn one is made the primary image.
// Exit status 0 when written, 1 with a message otherwise.
#include <libheif/heif.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// libx265 keeps a block of its encoder to the end of the process: no fault of the tests' under
// LeakSanitizer (the sanitizer build), which reads this list when it is linked in.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libx265.so\n";
}

namespace {

bool Failed(const heif_error& error, const char* what) {
  if (error.code == heif_error_Ok) return false;
  std::fprintf(stderr, "heif_maker: %s: %s\n", what, error.message);
  return true;
}

// An interleaved RGB image whose left half is `left` and right half `right`.
heif_image* Drawn(int width, int height, const unsigned char left[3],
                  const unsigned char right[3]) {
  heif_image* image = nullptr;
  if (Failed(heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                               &image),
             "image"))
    return nullptr;
  if (Failed(heif_image_add_plane(image, heif_channel_interleaved, width, height, 8), "plane")) {
    heif_image_release(image);
    return nullptr;
  }
  int stride = 0;
  unsigned char* row = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < height; ++y, row += stride)
    for (int x = 0; x < width; ++x) std::memcpy(row + 3 * x, x < width / 2 ? left : right, 3);
  return image;
}

// A big-endian EXIF block (TIFF header on) of one field: the orientation.
std::string OrientationExif(int orientation) {
  return std::string("MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19) +
         static_cast<char>(orientation) + std::string(6, '\0');
}

bool Encode(heif_context* context, heif_encoder* encoder, heif_image* image, int orientation,
            heif_image_handle** handle) {
  heif_encoding_options* options = heif_encoding_options_alloc();
  options->image_orientation = static_cast<heif_orientation>(orientation);
  const bool failed =
      Failed(heif_context_encode_image(context, image, encoder, options, handle), "encode");
  heif_encoding_options_free(options);
  heif_image_release(image);
  return !failed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: heif_maker OUT WIDTH HEIGHT [orientation=N] "
                 "[exif-orientation=N] [icc=FILE] [second-primary]\n");
    return 1;
  }
  const std::string out = argv[1];
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  int orientation = 1, exifOrientation = 0;
  std::string profile;
  bool secondPrimary = false;
  for (int a = 4; a < argc; ++a) {
    const std::string option = argv[a];
    if (option.rfind("orientation=", 0) == 0) orientation = std::atoi(option.c_str() + 12);
    if (option.rfind("exif-orientation=", 0) == 0) exifOrientation = std::atoi(option.c_str() + 17);
    if (option.rfind("icc=", 0) == 0) {
      std::ifstream file(option.substr(4), std::ios::binary);
      profile.assign(std::istreambuf_iterator<char>(file), {});
    }
    if (option == "second-primary") secondPrimary = true;
  }
  const bool avif = out.size() > 5 && out.compare(out.size() - 5, 5, ".avif") == 0;
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  if (Failed(heif_context_get_encoder_for_format(
                 context, avif ? heif_compression_AV1 : heif_compression_HEVC, &encoder),
             "encoder"))
    return 1;
  heif_encoder_set_lossy_quality(encoder, 90);
  const unsigned char red[3] = {240, 16, 16}, blue[3] = {16, 16, 240}, green[3] = {16, 240, 16};
  heif_image_handle* handle = nullptr;
  if (secondPrimary &&
      !Encode(context, encoder, Drawn(width / 2, height / 2, green, green), 1, &handle))
    return 1;
  heif_image_handle_release(handle);
  heif_image* image = Drawn(width, height, red, blue);
  if (image == nullptr) return 1;
  if (!profile.empty() &&
      Failed(heif_image_set_raw_color_profile(image, "prof", profile.data(), profile.size()),
             "profile"))
    return 1;
  const std::string exif = OrientationExif(exifOrientation);
  if (!Encode(context, encoder, image, orientation, &handle) ||
      (exifOrientation != 0 && Failed(heif_context_add_exif_metadata(context, handle, exif.data(),
                                                                     static_cast<int>(exif.size())),
                                      "exif")) ||
      Failed(heif_context_set_primary_image(context, handle), "primary") ||
      Failed(heif_context_write_to_file(context, out.c_str()), out.c_str()))
    return 1;
  heif_image_handle_release(handle);
  heif_encoder_release(encoder);
  heif_context_free(context);
  return 0;
}
