// The floor of making a photo's thumbnail and screen-sized copies: each JPEG decoded once by
// libjpeg at the smallest scale that holds the largest picture, then each picture encoded from it
// and written to a file. Its pixels are picked, not filtered: the floor counts the decode and the
// encodes, no resizing, so any tool's distance from it is what it spends beyond the codec
// (resizing, colour, hand-overs, start-up).
//
//   copies_floor [--jobs N] [--scale M] PHOTO...
//
// The scales are 1/8, 1/4, 1/2 and 1, those shrink-on-load uses; libjpeg's others (M/8) take no
// SIMD path and decode slower than the whole photo (6/8: about 10% more processor time here).
// --scale M decodes at M/8 whatever the pictures call for. The pictures are those of a folder
// gallery: 2560 and 1280 at quality 82, 480 and 240 at 85, each made only when the photo's longer
// side is longer (none is enlarged). --jobs N splits the photos over N processes (every Nth photo
// each), as a tool that uses N cores does. Writes NAME.EDGE.jpg in the current folder (NAME the
// photo's name without its folder); exits 1 when a photo cannot be decoded or a picture written.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// clang-format off: after <cstdio>, since it uses size_t and FILE without including them
#include <jpeglib.h>
// clang-format on

namespace {

struct Picture {
  int edge;
  int quality;
};
constexpr Picture kPictures[] = {{2560, 82}, {1280, 82}, {480, 85}, {240, 85}};

struct Failure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void Escape(j_common_ptr info) {
  std::longjmp(reinterpret_cast<Failure*>(info->err)->jump, 1);
}

// A decoded photo: rows of RGB pixels.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<JSAMPLE> rgb;
};

// The M of the smallest scale M/8 of 1/8, 1/4, 1/2 and 1 whose longer side is at least `edge`.
int ScaleFor(int longer, int edge) {
  for (int m = 1; m < 8; m *= 2)
    if ((longer * m + 7) / 8 >= edge) return m;
  return 8;
}

// Decodes `name` at M/8 (M = `scale`, or the smallest that holds the largest picture when 0).
bool Decode(const char* name, int scale, Pixels* out) {
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return false;
  jpeg_decompress_struct info{};
  Failure failure{};
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = Escape;
  bool decoded = false;
  if (setjmp(failure.jump) == 0) {
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    const int longer = static_cast<int>(std::max(info.image_width, info.image_height));
    info.out_color_space = JCS_RGB;
    info.scale_num =
        static_cast<unsigned>(scale != 0 ? scale : ScaleFor(longer, kPictures[0].edge));
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    out->width = static_cast<int>(info.output_width);
    out->height = static_cast<int>(info.output_height);
    const std::size_t stride = static_cast<std::size_t>(out->width) * 3;
    out->rgb.resize(stride * static_cast<std::size_t>(out->height));
    while (info.output_scanline < info.output_height) {
      JSAMPROW row[1] = {out->rgb.data() + stride * info.output_scanline};
      jpeg_read_scanlines(&info, row, 1);
    }
    jpeg_finish_decompress(&info);
    decoded = true;
  }
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return decoded;
}

// `pixels` fitted into `edge` by picking the nearest pixel, encoded at `quality` into `name`.
bool EncodePicked(const Pixels& pixels, int edge, int quality, const std::string& name) {
  const int longer = std::max(pixels.width, pixels.height);
  const int width =
      std::max(1, static_cast<int>(static_cast<long long>(pixels.width) * edge / longer));
  const int height =
      std::max(1, static_cast<int>(static_cast<long long>(pixels.height) * edge / longer));
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct info{};
  Failure failure{};
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = Escape;
  bool written = false;
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
  if (setjmp(failure.jump) == 0) {
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    for (int y = 0; y < height; ++y) {
      const JSAMPLE* from = pixels.rgb.data() +
                            static_cast<std::size_t>(y) * pixels.height / height * pixels.width * 3;
      for (int x = 0; x < width; ++x)
        std::memcpy(&row[static_cast<std::size_t>(x) * 3],
                    from + static_cast<std::size_t>(x) * pixels.width / width * 3, 3);
      JSAMPROW rows[1] = {row.data()};
      jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    written = true;
  }
  jpeg_destroy_compress(&info);
  return std::fclose(file) == 0 && written;
}

// Every picture the photo calls for; false after a message when one cannot be made.
bool MakePictures(const char* name, int scale, int photoLonger) {
  // Kept from photo to photo: the floor does not count the memory's first touch on every photo.
  static Pixels pixels;
  if (!Decode(name, scale, &pixels)) {
    std::fprintf(stderr, "copies_floor: %s cannot be decoded\n", name);
    return false;
  }
  for (const Picture& picture : kPictures) {
    if (photoLonger <= picture.edge) continue;
    const std::string out =
        std::string(std::strrchr(name, '/') ? std::strrchr(name, '/') + 1 : name) + "." +
        std::to_string(picture.edge) + ".jpg";
    if (!EncodePicked(pixels, picture.edge, picture.quality, out)) {
      std::fprintf(stderr, "copies_floor: %s cannot be written\n", out.c_str());
      return false;
    }
  }
  return true;
}

// The photo's longer side from its header alone; 0 when it cannot be read.
int LongerSide(const char* name) {
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return 0;
  jpeg_decompress_struct info{};
  Failure failure{};
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = Escape;
  int longer = 0;
  if (setjmp(failure.jump) == 0) {
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    longer = static_cast<int>(std::max(info.image_width, info.image_height));
  }
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return longer;
}

// The photos first + k, first + k + step, ...: false when one failed.
bool MakeEvery(char** photos, int count, int first, int step, int scale) {
  for (int i = first; i < count; i += step) {
    const int longer = LongerSide(photos[i]);
    if (longer == 0 || !MakePictures(photos[i], scale, longer)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int jobs = 1, scale = 0, first = 1;
  for (; first + 1 < argc && argv[first][0] == '-'; first += 2) {
    if (std::strcmp(argv[first], "--jobs") == 0)
      jobs = std::atoi(argv[first + 1]);
    else if (std::strcmp(argv[first], "--scale") == 0)
      scale = std::atoi(argv[first + 1]);
    else
      break;
  }
  if (first >= argc || jobs < 1 || scale < 0 || scale > 8) {
    std::fprintf(stderr, "usage: copies_floor [--jobs N] [--scale M] PHOTO...\n");
    return 2;
  }
  char** photos = argv + first;
  const int count = argc - first;
  std::vector<pid_t> children;
  bool made = true;
  for (int k = 1; k < jobs; ++k) {
    const pid_t child = ::fork();
    if (child == 0) _exit(MakeEvery(photos, count, k, jobs, scale) ? 0 : 1);
    if (child > 0) children.push_back(child);
    if (child < 0) made = MakeEvery(photos, count, k, jobs, scale) && made;  // its share here
  }
  made = MakeEvery(photos, count, 0, jobs, scale) && made;
  for (pid_t child : children) {
    int status = 0;
    made = ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           made;
  }
  return made ? 0 : 1;
}
