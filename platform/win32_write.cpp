// ==== Writing pages ============================================================================
// A page is written in place: created exclusively, or an earlier page of ours opened and looked
// at through the very handle that is then truncated and written. Another run writing the same
// page is waited for; the contact sheet, a file outside the folder, one that is not ours and the
// combined page's place are refused, and a page this call made and could not complete goes again.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "platform/platform.h"
#include "platform/platform_win32.h"
#include "platform/win32_calls.h"
#include "platform/win32_folders.h"
#include "platform/win32_names.h"
#include "platform/win32_pages.h"
#include "platform/win32_replace.h"
#include "platform/win32_sheet.h"

using namespace win32;

namespace {

// Creating a page and opening it as an existing one take turns this many times while another
// run makes or removes it between the two.
constexpr int kOpenOrCreateTurns = 8;

// True when the file open as `handle` holds exactly `bytes`, which goes to *same; the file
// pointer is back at the start either way. A read that fails is a difference.
bool HoldsBytes(HANDLE handle, std::string_view bytes, bool* same) {
  const std::unique_ptr<char[]> held(new (std::nothrow) char[bytes.size() + 1]);
  DWORD length = 0;
  *same = held && bytes.size() < MAXDWORD &&
          ReadHead(handle, held.get(), static_cast<DWORD>(bytes.size() + 1), &length) &&
          length == bytes.size() && std::memcmp(held.get(), bytes.data(), bytes.size()) == 0;
  LARGE_INTEGER start{};
  return *same || !Win32Calls.setFilePointer(handle, start, nullptr, FILE_BEGIN);
}

// Opens `name` for a page: a new file (which this handle may remove again), or an existing one
// that may be replaced, emptied. Shared for reading only, so a second open of a file still being
// written fails, as does one of the contact sheet; the failed open touches nothing. An existing
// file is opened without truncating, so one found outside the folder, or one that is not ours,
// is left as it was; and for reading too, for the look at it. INVALID_HANDLE_VALUE when refused,
// and when the existing page holds `bytes` already (*same): it is then left as it is, its time
// too, so a re-run of an unchanged show rewrites nothing.
HANDLE OpenPageFile(const std::string& name, std::string_view bytes, bool* created, bool* same,
                    std::string_view marker) {
  // A device name would open the device: the page would vanish into it, or the call would hang.
  if (NamesReservedDevice(name)) return INVALID_HANDLE_VALUE;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int turn = 0, waits = 0; turn < kOpenOrCreateTurns;) {
    handle =
        Win32Calls.createFile(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                              FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    *created = handle != INVALID_HANDLE_VALUE;
    if (*created) break;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      handle =
          Win32Calls.createFile(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) break;
      error = GetLastError();
    }
    if (error == ERROR_FILE_NOT_FOUND) {  // removed between the two: made anew
      ++turn;
      continue;
    }
    // Held by another program: another run writing the page waits its turn; the contact sheet,
    // or a file that stays held, is refused.
    if (error != ERROR_SHARING_VIOLATION || ++waits > kWaitsForAnotherRun || HeldHere(name))
      return INVALID_HANDLE_VALUE;
    Sleep(kWaitMs);
  }
  if (handle == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  FILETIME accessed;
  const bool accessTimeHeld = !*created && HoldAccessTime(handle, &accessed);
  if (!IsDiskFile(handle) || !LiesBeneathWorkingFolder(handle) ||
      TakesReservedPlace(name, handle, *created) ||
      (!*created && !LooksLikeOwnPage(handle, marker)) ||
      (!*created && HoldsBytes(handle, bytes, same)) || !Win32Calls.setEndOfFile(handle)) {
    if (*created) {
      RemoveCreatedFile(handle, name);  // made here only to be refused
    } else {
      if (accessTimeHeld) PutBackAccessTime(handle, accessed);
      Win32Calls.closeHandle(handle);
    }
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

}  // namespace

bool WriteOutputFile(const std::string& name, std::string_view bytes, std::string_view marker) {
  bool created = false, same = false;
  const HANDLE handle = OpenPageFile(name, bytes, &created, &same, marker);
  if (handle == INVALID_HANDLE_VALUE) return same;
  // Open only during this call, so no other output can meet it. One write, straight to the file.
  bool written = true;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD wrote = 0;
    written =
        Win32Calls.writeFile(handle, bytes.data() + done, chunk, &wrote, nullptr) && wrote > 0;
    done += wrote;
  }
  // A page made by this call and not written whole is removed again, so a full disk leaves no
  // empty or partial page behind; an earlier page that was replaced stays as far as it came.
  if (!written && created) {
    RemoveCreatedFile(handle, name);
    return false;
  }
  const bool closed = Win32Calls.closeHandle(handle) != 0;
  if (!closed && created) Win32Calls.deleteFile(Wide(name).c_str());
  return written && closed;
}
