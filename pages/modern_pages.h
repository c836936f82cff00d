// The modern page style: slide pages and a combined page in standards mode that fit the photo to
// any screen, follow the reader's light or dark preference and need no script. Same files, same
// links and the same marker line as the classic pages.
#pragma once

#include <string>
#include <string_view>

#include "pages/page_style.h"

// The bytes of each page, line ends CR LF, into `text` (its old content replaced). The caption
// and the sheet's title are escaped only where they would end a tag or an attribute.
void ModernManualPageText(const SlidePageValues& values, std::string& text);
void ModernAutomaticPageText(const SlidePageValues& values, std::string& text);

// `text` made safe as element content: "<" and ">" written as entities; other bytes and entities
// stay as they are.
std::string EscapeText(std::string_view text);
// The same for a double-quoted attribute value: also '"' as an entity.
std::string EscapeAttribute(std::string_view text);
