// What the Win32 platform layer shows beyond platform.h, for its tests.
#pragma once

#include <string>

// True when any folder or file component of `name` is a name Windows reads as a device (CON,
// PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$), in any case, with any extension and with
// trailing dots or blanks. CreateOutputFile refuses such names without opening anything.
bool NamesReservedDevice(const std::string& name);
