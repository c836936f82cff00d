// ==== The call table ===========================================================================
// The calls through which pages are written and the combined page's files are moved, marked for
// removal and given their attributes go through Win32Calls (platform_win32.h), so tests can make
// them fail. Also here: the few ways of using the calls that several of the layer's files share.
#include "platform/win32_calls.h"

#include "platform/platform_win32.h"

Win32CallTable Win32Calls = {WriteFile, SetFileInformationByHandle};

namespace win32 {

// The calls' 0 is a failure; any other result is a length or the room needed.
long long LengthOrNeeded(DWORD result) {
  return result == 0 ? -1 : static_cast<long long>(result);
}

// A console or pipe answers FILE_TYPE_CHAR or FILE_TYPE_PIPE; a failed call FILE_TYPE_UNKNOWN.
bool IsDiskFile(HANDLE handle) {
  return GetFileType(handle) == FILE_TYPE_DISK;
}

// A read of 0 bytes is the file's end.
bool ReadHead(HANDLE handle, char* head, DWORD size, DWORD* length) {
  *length = 0;
  while (*length < size) {
    DWORD got = 0;
    if (!ReadFile(handle, head + *length, size - *length, &got, nullptr)) return false;
    if (got == 0) break;
    *length += got;
  }
  return true;
}

}  // namespace win32
