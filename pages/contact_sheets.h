// The contact sheets of folders of photos, one per page style (reached through PageStyle).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pages/page_style.h"

void ClassicSheet(std::string_view title, const std::vector<SheetPhoto>& photos, std::string& text);
void ModernSheet(std::string_view title, const std::vector<SheetPhoto>& photos, std::string& text);
