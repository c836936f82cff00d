// The I/O floor of a run: creates the files a run of kestrune creates, with the same bytes, and
// does nothing else (open, write, close for each).
//
//   io_floor --pack PACK           stores the files named on standard input, one a line (names
//                                  and bytes), in PACK; done beforehand, untimed
//   io_floor PACK                  recreates every file stored in PACK, relative to the working
//                                  folder; this is the run that is timed
//
// A pack record is the file name, a zero byte, the length as 8 bytes and the bytes.
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

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

int Pack(const char* packPath) {
  std::ofstream pack(packPath, std::ios::binary);
  std::string name;
  while (std::getline(std::cin, name)) {
    std::ifstream in(name, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::uint64_t size = bytes.size();
    char length[8];
    std::memcpy(length, &size, sizeof length);
    pack.write(name.c_str(), static_cast<std::streamsize>(name.size() + 1));
    pack.write(length, sizeof length);
    pack.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in || !pack) {
      std::perror(name.c_str());
      return 1;
    }
  }
  return 0;
}

int Recreate(const char* packPath) {
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
  if (argc == 2) return Recreate(argv[1]);
  std::fprintf(stderr, "usage: io_floor --pack PACK <NAMES | io_floor PACK\n");
  return 2;
}
