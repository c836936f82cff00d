// The contact sheet scanner written the slow, obvious way: every form of a token is searched on
// its own to the end of the text, and the earlier find wins. Tests and the fuzzer compare the
// real scanner with it, so it is kept free of any shortcut.
//
// `text` is the contact sheet up to (not including) its first zero byte; positions are offsets
// into it and kNoPosition stands for none.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

constexpr std::size_t kNoPosition = std::string_view::npos;

// The ">" closing the next acceptable image anchor at or after `from`, its target copied into
// `last`; kNoPosition when none is left.
std::size_t LiteralFindNextImageLink(std::string_view text, std::size_t from, std::string& last);

// The caption of the anchor whose tag ends at `from`; `nextImage` stands in for a caption
// without visible text. Returns where the caption ended.
std::size_t LiteralExtractCaption(std::string_view text, std::size_t from,
                                  const std::string& nextImage, std::string& out);

// The first title's text into `out` (unchanged without a title); where copying stopped.
std::size_t LiteralExtractTitle(std::string_view text, std::string& out);
