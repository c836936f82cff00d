// ==== The call table ===========================================================================
// Every file-system call of the Win32 layer goes through Win32Calls (platform_win32.h), so tests
// can fail any open, read, write, move or look-up of a run and check that it ends cleanly. Also
// here: the few ways of using the calls that several of the layer's files share.
#include "platform/win32_calls.h"

#include "platform/platform_win32.h"

Win32CallTable DefaultWin32Calls() {
  Win32CallTable calls;
  calls.createFile = CreateFileW;
  calls.closeHandle = CloseHandle;
  calls.duplicateHandle = DuplicateHandle;
  calls.getFileType = GetFileType;
  calls.getFileInformation = GetFileInformationByHandle;
  calls.getFileSize = GetFileSizeEx;
  calls.getFinalPathName = GetFinalPathNameByHandleW;
  calls.getFileTime = GetFileTime;
  calls.setFileTime = SetFileTime;
  calls.readFile = ReadFile;
  calls.writeFile = WriteFile;
  calls.setFilePointer = SetFilePointerEx;
  calls.setEndOfFile = SetEndOfFile;
  calls.createFileMapping = CreateFileMappingW;
  calls.mapViewOfFile = MapViewOfFile;
  calls.setFileInformation = SetFileInformationByHandle;
  calls.deleteFile = DeleteFileW;
  calls.getFileAttributes = GetFileAttributesW;
  calls.getFileAttributesEx = GetFileAttributesExW;
  calls.findFirstFile = FindFirstFileW;
  calls.findNextFile = FindNextFileW;
  calls.findClose = FindClose;
  calls.getCurrentDirectory = GetCurrentDirectoryW;
  calls.setCurrentDirectory = SetCurrentDirectoryW;
  calls.getFullPathName = GetFullPathNameW;
  calls.createDirectory = CreateDirectoryW;
  calls.removeDirectory = RemoveDirectoryW;
  return calls;
}

Win32CallTable Win32Calls = DefaultWin32Calls();

namespace win32 {

// The calls' 0 is a failure; any other result is a length or the room needed.
long long LengthOrNeeded(DWORD result) {
  return result == 0 ? -1 : static_cast<long long>(result);
}

// A console or pipe answers FILE_TYPE_CHAR or FILE_TYPE_PIPE; a failed call FILE_TYPE_UNKNOWN.
bool IsDiskFile(HANDLE handle) {
  return Win32Calls.getFileType(handle) == FILE_TYPE_DISK;
}

// A read of 0 bytes is the file's end.
bool ReadHead(HANDLE handle, char* head, DWORD size, DWORD* length) {
  *length = 0;
  while (*length < size) {
    DWORD got = 0;
    if (!Win32Calls.readFile(handle, head + *length, size - *length, &got, nullptr)) return false;
    if (got == 0) break;
    *length += got;
  }
  return true;
}

}  // namespace win32
