#include "sheet/sheet_path.h"

void CleanPath(std::string& path) {
  while (path.size() > 1 && static_cast<unsigned char>(path.back()) <= 0x20) path.pop_back();
  if (!path.empty() && path.front() == '"') {
    const std::size_t closing = path.find('"', 1);
    path = path.substr(1, closing == std::string::npos ? std::string::npos : closing - 1);
  }
}
