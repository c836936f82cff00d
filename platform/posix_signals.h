// ==== Signals: the file a second signal removes ================================================
// The combined page's hidden temporary file, the one file a run may have under a name of its own
// while it is written: a second signal removes it before the program ends at once. For the POSIX
// file layer only (CatchInterruptions and PendingInterruption are in platform.h).
#pragma once

#include <string>

namespace posix {

// Remembers `name` (relative to the working folder) for a second signal to remove; a name too
// long for the handler's buffer is not remembered.
void RememberTemporary(const std::string& name);
// Forgets it, once the file under that name may be another than the one written.
void ForgetTemporary();

}  // namespace posix
