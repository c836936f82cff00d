// Writes the tree of albums of bench/run.sh --albums: small camera-like JPEGs (640x480, quality
// 85, 4:2:0) in albums on three levels, YEAR/TRIP/DAY, the same bytes and times on every run.
//
//   make_album_tree [--years 8] [--trips 5] [--days 10] [--photos 50] [--jobs 2] FOLDER
//
// FOLDER/2017/Trip 1/Day 1/IMG_00001.JPG ...: photo numbers run on across the tree, as a camera
// numbers them, so the same photos can be gathered in one folder without a clash of names. Three
// photos in four carry an EXIF DateTimeOriginal (with OffsetTimeOriginal on every other one); each
// file's modification time is the time it was taken, so those without EXIF still sort by it. Each
// picture is a gradient with a few soft discs and a little grain, its own from the photo number:
// detail enough that a decode costs what a small photo's costs. --jobs N writes the albums in N
// processes. Exits 1 when a file cannot be written.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

// clang-format off: after <cstdio>, since it uses size_t and FILE without including them
#include <jpeglib.h>
// clang-format on

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFirstYear = 2017;

struct Shape {
  int years = 8, trips = 5, days = 10, photos = 50;
};

// A small deterministic generator (xorshift32): the same pictures on every machine.
std::uint32_t Next(std::uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

// The picture of photo `number`: a gradient, five soft discs and grain, as RGB rows.
std::vector<JSAMPLE> Picture(int number) {
  std::uint32_t state = 2654435761u * static_cast<std::uint32_t>(number + 1);
  int discs[5][6];  // x, y, radius, r, g, b
  for (auto& disc : discs) {
    disc[0] = static_cast<int>(Next(state) % kWidth);
    disc[1] = static_cast<int>(Next(state) % kHeight);
    disc[2] = 30 + static_cast<int>(Next(state) % 120);
    for (int c = 3; c < 6; ++c) disc[c] = static_cast<int>(Next(state) % 256);
  }
  const int tint = static_cast<int>(Next(state) % 96);
  std::vector<JSAMPLE> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      int pixel[3] = {tint + x * 120 / kWidth, 60 + y * 100 / kHeight, 150 - tint / 2};
      for (const auto& disc : discs) {
        const int dx = x - disc[0], dy = y - disc[1];
        if (dx * dx + dy * dy < disc[2] * disc[2])
          for (int c = 0; c < 3; ++c) pixel[c] = (pixel[c] + disc[3 + c]) / 2;
      }
      const int grain = static_cast<int>(Next(state) % 13) - 6;
      for (int c = 0; c < 3; ++c) {
        const int value = pixel[c] + grain;
        rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3 + c] =
            static_cast<JSAMPLE>(value < 0     ? 0
                                 : value > 255 ? 255
                                               : value);
      }
    }
  }
  return rgb;
}

void Put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xff);
  out += static_cast<char>(value >> 8);
}
void Put32(std::string& out, unsigned value) {
  Put16(out, value & 0xffff);
  Put16(out, value >> 16);
}
void PutEntry(std::string& out, unsigned tag, unsigned type, unsigned count, unsigned value) {
  Put16(out, tag);
  Put16(out, type);
  Put32(out, count);
  Put32(out, value);
}

// An APP1 EXIF segment's body (little-endian TIFF): IFD0 holding only the pointer to the EXIF
// IFD, which holds DateTimeOriginal ("YYYY:MM:DD HH:MM:SS") and, when given, OffsetTimeOriginal.
std::string ExifBody(const std::string& taken, const std::string& offset) {
  const unsigned entries = offset.empty() ? 1 : 2;
  const unsigned exifIfd = 8 + 2 + 12 + 4;
  const unsigned values = exifIfd + 2 + 12 * entries + 4;
  std::string tiff = "II";
  Put16(tiff, 42);
  Put32(tiff, 8);
  Put16(tiff, 1);
  PutEntry(tiff, 0x8769, 4, 1, exifIfd);
  Put32(tiff, 0);
  Put16(tiff, entries);
  PutEntry(tiff, 0x9003, 2, 20, values);
  if (!offset.empty()) PutEntry(tiff, 0x9011, 2, 7, values + 20);
  Put32(tiff, 0);
  tiff.append(taken.c_str(), 20);  // with its terminating zero
  if (!offset.empty()) tiff.append(offset.c_str(), 7);
  return std::string("Exif\0\0", 6) + tiff;
}

// Writes photo `number` to `path`, taken at `when` (seconds since 1970, read as local camera time).
bool WritePhoto(const std::string& path, int number, std::time_t when) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 85, TRUE);
  const bool exif = number % 4 != 0;
  info.write_JFIF_header = exif ? FALSE : TRUE;  // a camera's file begins with its EXIF
  jpeg_start_compress(&info, TRUE);
  if (exif) {
    std::tm parts{};
    gmtime_r(&when, &parts);
    char taken[20];
    std::strftime(taken, sizeof taken, "%Y:%m:%d %H:%M:%S", &parts);
    const std::string body = ExifBody(taken, number % 2 != 0 ? "+02:00" : "");
    jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(body.data()),
                      static_cast<unsigned>(body.size()));
  }
  const std::vector<JSAMPLE> rgb = Picture(number);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(&rgb[info.next_scanline * kWidth * 3]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  const bool closed = std::fclose(file) == 0;
  const struct timespec times[2] = {{when, 0}, {when, 0}};
  return closed && utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

// Writes album `album` (counted over the whole tree) and the folders above it.
bool WriteAlbum(const std::string& top, const Shape& shape, int album) {
  const int day = album % shape.days, trip = album / shape.days % shape.trips;
  const int year = album / (shape.days * shape.trips);
  const std::string yearPath = top + "/" + std::to_string(kFirstYear + year);
  const std::string tripPath = yearPath + "/Trip " + std::to_string(trip + 1);
  const std::string dayPath = tripPath + "/Day " + std::to_string(day + 1);
  if (!MakeFolder(yearPath) || !MakeFolder(tripPath) || !MakeFolder(dayPath)) return false;
  // A trip in month 2t+1 of its year, a day of it, photos a few minutes apart from 09:00.
  std::tm start{};
  start.tm_year = kFirstYear + year - 1900;
  start.tm_mon = 2 * trip;
  start.tm_mday = 1 + day;
  start.tm_hour = 9;
  const std::time_t morning = timegm(&start);
  for (int i = 0; i < shape.photos; ++i) {
    const int number = album * shape.photos + i + 1;
    char name[32];
    std::snprintf(name, sizeof name, "/IMG_%05d.JPG", number);
    if (!WritePhoto(dayPath + name, number, morning + 180 * i + number % 7)) return false;
  }
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: make_album_tree [--years N] [--trips N] [--days N] [--photos N] "
               "[--jobs N] FOLDER\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Shape shape;
  int jobs = 2;
  const char* top = nullptr;
  for (int i = 1; i < argc; ++i) {
    int* setting = std::strcmp(argv[i], "--years") == 0    ? &shape.years
                   : std::strcmp(argv[i], "--trips") == 0  ? &shape.trips
                   : std::strcmp(argv[i], "--days") == 0   ? &shape.days
                   : std::strcmp(argv[i], "--photos") == 0 ? &shape.photos
                   : std::strcmp(argv[i], "--jobs") == 0   ? &jobs
                                                           : nullptr;
    if (setting != nullptr && i + 1 < argc) {
      *setting = std::atoi(argv[++i]);
    } else if (argv[i][0] != '-' && top == nullptr) {
      top = argv[i];
    } else {
      return Usage();
    }
  }
  if (top == nullptr || jobs < 1 || shape.years < 1 || shape.trips < 1 || shape.days < 1 ||
      shape.photos < 1)
    return Usage();
  if (!MakeFolder(top)) return 1;
  const int albums = shape.years * shape.trips * shape.days;
  std::vector<pid_t> children;
  for (int job = 0; job < jobs; ++job) {
    const pid_t child = ::fork();
    if (child == 0) {
      for (int album = job; album < albums; album += jobs)
        if (!WriteAlbum(top, shape, album)) _exit(1);
      _exit(0);
    }
    children.push_back(child);
  }
  int failures = 0;
  for (const pid_t child : children) {
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
      ++failures;
  }
  if (failures != 0) std::fprintf(stderr, "make_album_tree: a photo could not be written\n");
  return failures == 0 ? 0 : 1;
}
