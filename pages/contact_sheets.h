// The contact sheets of folders of photos, one per page style (reached through PageStyle).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pages/page_style.h"

void ClassicSheet(const FolderSheet& sheet, std::string& text);
void ModernSheet(const FolderSheet& sheet, std::string& text);

// The text that marks the trail of a folder's modern sheet, which its slide pages repeat: a sheet
// run reads it back from the sheet (sheet/trail.h).
inline constexpr char kTrailClass[] = "trail";
