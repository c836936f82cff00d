// Page names and links: the file a link target names on disk, whether it stays inside the
// sheet's folder, and link values made relative to a page that lies in a subfolder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The name of the file behind `target`, decoded as a browser decodes a link before opening the
// file: first the character references &amp; &lt; &gt; &quot; &apos; and numeric ones below 128
// (&#38; &#x26;), then every "%" followed by two hexadecimal digits (a lone "%" stays). The
// result may hold a zero byte; such a name names no file.
std::string DecodeFileName(const std::string& target);

// True when `target` holds a "&" or a "%", so that DecodeFileName may change it; a name without
// either is its own file name.
bool NeedsDecoding(std::string_view target);

// The name of the file a browser opens for `target`, a link read from a sheet in `charset`, in
// UTF-8, as a system that names files in Unicode names it: the link decoded as DecodeFileName
// decodes it, its raw bytes read in the sheet's encoding (UTF-8, windows-1252, or for any other
// charset ASCII only), the bytes its escapes give read as UTF-8 when the whole name then is
// UTF-8, and as windows-1252 otherwise. False when a raw byte is no character of the encoding:
// a browser opens no file by that name, so none may be written under another.
bool BrowserFileName(const std::string& target, std::string_view charset, std::string* name);

// The file `target` names on this system: where it names files in bytes, DecodeFileName's; where
// in Unicode (NamesFilesInUnicode), BrowserFileName's. Returns `target` itself when that is its
// name (most names), else `converted` holding it; nullptr when no file can be named.
const std::string* LinkedFile(const std::string& target, std::string_view charset,
                              std::string& converted);

// Number of folders between the contact sheet's folder and a page linked as `pageName`: the
// segments before its last separator, with "." and ".." segments resolved as a browser does
// ("//" gives an empty segment, which counts).
std::size_t LinkFolderDepth(const std::string& pageName);

// True when `name`, read lexically, stays inside the working folder: not absolute, no ":",
// and no ".." that climbs above the folder ("/" and "\" both separate).
bool IsInsideSheetFolder(const std::string& name);

// Why no page may be written to `file`, a page's name decoded (DecodeFileName): a zero byte in
// it, or a name that leaves the contact sheet's folder (IsInsideSheetFolder); None when it may.
// NoBrowserName: the name holds a byte that is no character of the sheet's charset, on a system
// that names files in Unicode (LinkedFile), so a browser opens no file by that name.
enum class PageNameRefusal { None, ZeroByte, Outside, NoBrowserName };
PageNameRefusal PageFileRefusal(const std::string& file);

// Writes `value` at `out` with one "../" in front for each of `depth` folders, when it is a
// relative link, as it is otherwise; returns the end of what it wrote. `out` has room for
// value.size() + 3 * depth characters.
char* CopyRebasedLink(char* out, std::string_view value, std::size_t depth);
