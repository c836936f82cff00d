// A sheet's bytes read in its charset, as far as the names of files need it: the two encodings
// a sheet is read in when it declares none (UTF-8 and windows-1252), and the labels that name them.
#pragma once

#include <string>
#include <string_view>

enum class SheetEncoding { Utf8, Windows1252, Other };

// The encoding a browser reads a sheet in whose charset is `label` (case ignored): UTF-8 for
// "utf-8" and its other labels, windows-1252 for "windows-1252" and the labels browsers read as
// it ("iso-8859-1", "latin1", "us-ascii" and the rest); Other for every other label.
SheetEncoding EncodingOf(std::string_view label);

// Appends the character that `byte` stands for in windows-1252, in UTF-8. The five bytes that
// encoding leaves undefined stand for the C1 controls of the same number, as browsers read them.
void AppendWindows1252AsUtf8(std::string& out, unsigned char byte);
