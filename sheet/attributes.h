// Attributes of one tag, read as a browser reads them: names without regard to case, values in
// double or single quotes or bare. Values are views into the text, entities kept as written.
#pragma once

#include <optional>
#include <string_view>

// The value of attribute `name` (lower case) of the tag whose "<" stands at `tag`, read no
// further than `limit` nor past the tag's closing ">" outside quotes; nullopt when the tag has no
// such attribute. An attribute without a value has an empty one.
std::optional<std::string_view> ReadAttribute(const char* tag, const char* limit,
                                              std::string_view name);

// The first tag named `tagName` (lower case, such as "img") at or after `from` and before
// `limit`, compared without regard to case: its "<", or nullptr.
const char* FindTag(const char* from, const char* limit, std::string_view tagName);
