// The I/O floor of a run: creates the files a run of kestrune creates, with the same bytes, and
// does nothing else (open, write, close for each). Asked to, it also makes the PREVIOUS icon's
// thumbnail look-ups that kestrune makes today, one `stat` per name, so the cost of those
// look-ups can be read apart from the rest.
//
//   io_floor --pack PACK           stores the files named on standard input, one a line (names
//                                  and bytes), in PACK; done beforehand, untimed. A line
//                                  "?PREVIOUS" stores the look-ups made for the page whose
//                                  PREVIOUS image is named (taken as it is: the benchmark's names
//                                  need no decoding), at that place in the order.
//   io_floor PACK                  recreates every file stored in PACK, relative to the working
//                                  folder, in the stored order; this is the run that is timed
//   io_floor --with-lookups PACK   the same, making the stored look-ups too
//
// A file record is the file name, a zero byte, the length as 8 bytes and the bytes. A look-up
// record is the first name to look up, a zero byte, the length field all ones, the second name
// and a zero byte.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

constexpr std::uint64_t kLookupRecord = ~std::uint64_t{0};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void PutLength(std::ofstream& pack, std::uint64_t size) {
  char length[8];
  std::memcpy(length, &size, sizeof length);
  pack.write(length, sizeof length);
}

// kestrune's two candidates for the icon of an image: NAME_t.jpg, then tn_NAME_EXT.jpg (the last
// dot of the whole name made an underscore). A name without a dot gets no look-up at all.
void PackLookups(std::ofstream& pack, const std::string& previous) {
  const std::size_t dot = previous.rfind('.');
  if (dot == std::string::npos) return;
  const std::string first = previous.substr(0, dot) + "_t.jpg";
  std::string second = "tn_" + previous;
  second[3 + dot] = '_';
  second += ".jpg";
  pack.write(first.c_str(), static_cast<std::streamsize>(first.size() + 1));
  PutLength(pack, kLookupRecord);
  pack.write(second.c_str(), static_cast<std::streamsize>(second.size() + 1));
}

int Pack(const char* packPath) {
  std::ofstream pack(packPath, std::ios::binary);
  std::string name;
  while (std::getline(std::cin, name)) {
    if (!name.empty() && name.front() == '?') {
      PackLookups(pack, name.substr(1));
      continue;
    }
    std::ifstream in(name, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    pack.write(name.c_str(), static_cast<std::streamsize>(name.size() + 1));
    PutLength(pack, bytes.size());
    pack.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in || !pack) {
      std::perror(name.c_str());
      return 1;
    }
  }
  pack.close();
  if (!pack) {
    std::perror(packPath);
    return 1;
  }
  return 0;
}

int Recreate(const char* packPath, bool withLookups) {
  // Mapped, not read: the floor should not pay for a copy of everything it writes.
  const int packFd = ::open(packPath, O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (packFd < 0 || ::fstat(packFd, &info) != 0 || info.st_size <= 0) {
    std::perror(packPath);
    return 1;
  }
  const std::size_t packSize = static_cast<std::size_t>(info.st_size);
  void* mapped = ::mmap(nullptr, packSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, packFd, 0);
  if (mapped == MAP_FAILED) {
    std::perror(packPath);
    return 1;
  }
  const char* pack = static_cast<const char*>(mapped);
  std::size_t at = 0;
  while (at < packSize) {
    const char* name = pack + at;
    at += std::strlen(name) + 1;
    std::uint64_t size;
    std::memcpy(&size, pack + at, sizeof size);
    at += sizeof size;
    if (size == kLookupRecord) {
      const char* second = pack + at;
      at += std::strlen(second) + 1;
      // As kestrune: the second name only when the first names nothing.
      struct stat found;
      if (withLookups && ::stat(name, &found) != 0) ::stat(second, &found);
      continue;
    }
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || !WriteAll(fd, pack + at, size) || ::close(fd) != 0) {
      std::perror(name);
      return 1;
    }
    at += size;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--pack") == 0) return Pack(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--with-lookups") == 0) return Recreate(argv[2], true);
  if (argc == 2) return Recreate(argv[1], false);
  std::fprintf(stderr, "usage: io_floor --pack PACK <NAMES | io_floor [--with-lookups] PACK\n");
  return 2;
}
