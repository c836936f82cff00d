// The floor of any thumbnail maker: each JPEG decoded at 1/8 of its size by libjpeg (the
// smallest size its decoder makes, reached while decoding), its pixels read and dropped.
// Prints the processor time per photo in milliseconds: decode_floor PHOTO...
#include <time.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <vector>

#include <jpeglib.h>  // after <cstdio>: it uses size_t and FILE without including them

namespace {

struct Failure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void Escape(j_common_ptr info) {
  std::longjmp(reinterpret_cast<Failure*>(info->err)->jump, 1);
}

double ProcessorSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

bool DecodeAtOneEighth(const char* name) {
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
    info.scale_num = 1;
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(info.output_width) * info.output_components);
    JSAMPROW rows[1] = {row.data()};
    while (info.output_scanline < info.output_height) jpeg_read_scanlines(&info, rows, 1);
    jpeg_finish_decompress(&info);
    decoded = true;
  }
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return decoded;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: decode_floor PHOTO...\n");
    return 2;
  }
  const double start = ProcessorSeconds();
  for (int i = 1; i < argc; ++i) {
    if (!DecodeAtOneEighth(argv[i])) {
      std::fprintf(stderr, "decode_floor: %s cannot be decoded\n", argv[i]);
      return 1;
    }
  }
  std::printf("%.2f\n", 1000 * (ProcessorSeconds() - start) / (argc - 1));
  return 0;
}
