// A text that a system call writes into a caller's buffer of a size it cannot know in advance
// (the working folder, a link's target, a file's final path, the program's own path).
#pragma once

#include <algorithm>
#include <string>
#include <vector>

// Calls `fill(buffer, size)` with ever larger buffers until the text fits. `fill` returns the
// text's length when it fits (below `size`), a length of `size` or more when it needs more room
// (the size it needs, or just `size` when it cannot tell), or -1 when the call failed. Returns
// the text, empty on failure. `Char` is the text's character (wchar_t for Windows' wide calls).
template <typename Char = char, typename Fill>
std::basic_string<Char> ReadIntoGrowingBuffer(std::size_t size, Fill fill) {
  std::vector<Char> buffer(size);
  for (;;) {
    const long long length = fill(buffer.data(), buffer.size());
    if (length < 0) return std::basic_string<Char>();
    if (static_cast<unsigned long long>(length) < buffer.size())
      return std::basic_string<Char>(buffer.data(), static_cast<std::size_t>(length));
    buffer.resize(std::max(buffer.size() * 2, static_cast<std::size_t>(length) + 1));
  }
}
