// What the window tests and their hook DLL share: the query message, its kinds, and where the
// answer goes.
#pragma once

#include <cstddef>

// Posted to a window of kestrune.exe; wParam says what to describe.
constexpr const char* kQueryMessageName = "KestruneTestQuery";
constexpr unsigned kQueryWindow = 1;   // the main window's class, menu resource and menu
constexpr unsigned kQueryBoxIcon = 2;  // the icon of the message box it is posted to

// The answer: a zero-terminated text in a named shared memory block, then a named event set.
constexpr const char* kReplyMappingName = "KestruneTestReply";
constexpr const char* kReplyEventName = "KestruneTestReplied";
constexpr std::size_t kReplySize = 65536;

// The id of the icon control in Wine's message box.
constexpr int kBoxIconControl = 0x0440;
