// Bytes written as two hexadecimal digits, and read back: the one table and the one reader
// behind the escapes of links ("%20"), of kestrune's marks, and of names shown in a line ("\x0A").
#pragma once

#include <string>
#include <string_view>

// The value of a hexadecimal digit in either case, or -1 for any other byte.
int HexDigitValue(char c);

// Appends `byte` as two upper-case hexadecimal digits.
void AppendHexByte(std::string& out, unsigned char byte);

// `text` with every "%" followed by two hexadecimal digits (either case) replaced by the byte they
// give; a "%" without them stays as it is.
std::string DecodePercentEscapes(std::string_view text);
