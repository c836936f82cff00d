// What the Win32 platform layer shows beyond platform.h: the conversion of names between UTF-8 and
// UTF-16, which the window machinery and the entry point use too, the device names, and the call
// table through which the layer, the photo operations and the photo codec reach the file system.
// The layer is split by job into win32_*.cpp, each under a banner that says its job.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The UTF-8 names of the platform header as UTF-16 and back, for the wide-character calls. False
// for a text that is not UTF-8 or holds a zero byte, which names no file (MB_ERR_INVALID_CHARS).
bool Utf8ToWide(const std::string& utf8, std::wstring* wide);
// An unpaired surrogate, which no UTF-8 text can hold, becomes U+FFFD.
std::string WideToUtf8(const wchar_t* wide, std::size_t length);
std::string WideToUtf8(const std::wstring& wide);

// True when any folder or file component of `name` is a name Windows reads as a device (CON,
// PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$), in any case, with any extension and with
// trailing dots or blanks. CreateOutputFile refuses such names without opening anything.
bool NamesReservedDevice(const std::string& name);

// Every call by which a run reaches the file system on Windows: the platform layer's (the contact
// sheet, pages, the combined page, looks and removals, the working folder), the folder listings,
// first bytes and folder of copies of photos/photos_win32.cpp, and the photo codec's reading of a
// photo. The tests
// put their own in place to make any one of them fail, or to act at the moment between two. Not
// here: the bytes written through the stream CreateOutputFile hands out (the C run-time writes
// and closes its file itself), and the sheet's view unmapped.
struct Win32CallTable {
  // Files and folders opened, and what an open handle tells of its file.
  HANDLE(WINAPI* createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  BOOL(WINAPI* closeHandle)(HANDLE);
  BOOL(WINAPI* duplicateHandle)(HANDLE, HANDLE, HANDLE, LPHANDLE, DWORD, BOOL, DWORD);
  DWORD(WINAPI* getFileType)(HANDLE);
  BOOL(WINAPI* getFileInformation)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
  BOOL(WINAPI* getFileSize)(HANDLE, PLARGE_INTEGER);
  DWORD(WINAPI* getFinalPathName)(HANDLE, LPWSTR, DWORD, DWORD);
  BOOL(WINAPI* getFileTime)(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME);
  BOOL(WINAPI* setFileTime)(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*);
  // Bytes read and written: the contact sheet mapped whole, the first bytes of a file read, a
  // page written in place (from its start, then cut to its new length).
  BOOL(WINAPI* readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* setFilePointer)(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD);
  BOOL(WINAPI* setEndOfFile)(HANDLE);
  HANDLE(WINAPI* createFileMapping)(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCWSTR);
  LPVOID(WINAPI* mapViewOfFile)(HANDLE, DWORD, DWORD, DWORD, SIZE_T);
  // Through a handle: a file moved, marked for removal (or unmarked) and given its attributes;
  // by name, removed where it cannot be marked.
  BOOL(WINAPI* setFileInformation)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  BOOL(WINAPI* deleteFile)(LPCWSTR);
  // Names and folders: what stands under a name, a folder's names, the working folder, the full
  // path a name has from it, and a folder made or removed (the folder of copies).
  DWORD(WINAPI* getFileAttributes)(LPCWSTR);
  BOOL(WINAPI* getFileAttributesEx)(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID);
  HANDLE(WINAPI* findFirstFile)(LPCWSTR, LPWIN32_FIND_DATAW);
  BOOL(WINAPI* findNextFile)(HANDLE, LPWIN32_FIND_DATAW);
  BOOL(WINAPI* findClose)(HANDLE);
  DWORD(WINAPI* getCurrentDirectory)(DWORD, LPWSTR);
  BOOL(WINAPI* setCurrentDirectory)(LPCWSTR);
  DWORD(WINAPI* getFullPathName)(LPCWSTR, DWORD, LPWSTR, LPWSTR*);
  BOOL(WINAPI* createDirectory)(LPCWSTR, LPSECURITY_ATTRIBUTES);
  BOOL(WINAPI* removeDirectory)(LPCWSTR);
};
extern Win32CallTable Win32Calls;

// The calls as the system provides them.
Win32CallTable DefaultWin32Calls();
