// Link targets: the file a target names on disk, how deep a page lies, and links rebased for it.
#include "generation/link_targets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct DecodeCase {
  std::string target;
  std::string file;
};

TEST(DecodeFileName, DecodesAsABrowserBeforeOpeningTheFile) {
  using namespace std::string_literals;
  const DecodeCase cases[] = {
      // Names without escapes stay as they are.
      {"a.jpg", "a.jpg"},
      {"photos/a b.jpg", "photos/a b.jpg"},
      {"", ""},
      // Percent escapes, in either case; a "%" without two hexadecimal digits stays.
      {"beach%20hut.jpg", "beach hut.jpg"},
      {"%41%6a%6A.jpg", "Ajj.jpg"},
      {"100%.jpg", "100%.jpg"},
      {"50%25.jpg", "50%.jpg"},
      {"%2g.jpg", "%2g.jpg"},
      {"%g2.jpg", "%g2.jpg"},
      {"a%2", "a%2"},
      {"a%", "a%"},
      {"%%41", "%A"},
      {"%2541", "%41"},  // decoded once, not again
      {"%e9t%E9.jpg", "\xe9t\xe9.jpg"},
      {"%2e%2e%2fx.htm", "../x.htm"},
      {"a%00b.jpg", "a\0b.jpg"s},
      // The named character references that can stand in a name.
      {"a&amp;b.jpg", "a&b.jpg"},
      {"&lt;&gt;&quot;&apos;.jpg", "<>\"'.jpg"},
      {"a&amp.jpg", "a&amp.jpg"},      // without ";" it is no reference here
      {"a&AMP;b.jpg", "a&AMP;b.jpg"},  // names are case-sensitive
      {"a&nbsp;b.jpg", "a&nbsp;b.jpg"},
      {"&amp;amp;", "&amp;"},  // decoded once
      {"a&", "a&"},
      // Numeric references below 128, decimal and hexadecimal.
      {"a&#38;b.jpg", "a&b.jpg"},
      {"a&#x26;b&#X26;c.jpg", "a&b&c.jpg"},
      {"&#0065;&#x0041;", "AA"},
      {"&#127;", "\x7f"},
      {"&#128;&#xe9;", "&#128;&#xe9;"},  // characters above 127 stay as written
      {"&#99999999999999999999;", "&#99999999999999999999;"},
      {"&#;&#x;&#a;&#38", "&#;&#x;&#a;&#38"},
      {"&#0;.jpg", "\0.jpg"s},
      // References first, escapes second: an escape spelled with a reference is decoded too.
      {"&#37;41.jpg", "A.jpg"},
      {"%26amp;.jpg", "&amp;.jpg"},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(DecodeFileName(c.target), c.file) << c.target;
  }
}

struct BrowserNameCase {
  const char* charset;
  std::string target;
  std::string name;
  bool refused = false;
};

// The name a browser opens for a link, as Windows names the file: raw bytes in the sheet's
// charset, escaped bytes as UTF-8 where the whole name is UTF-8 then, else as windows-1252; a
// raw byte outside the charset names nothing.
TEST(BrowserFileName, ReadsRawBytesInTheCharsetAndEscapesAsUtf8ElseWindows1252) {
  using namespace std::string_literals;
  const BrowserNameCase cases[] = {
      // A UTF-8 sheet: raw and escaped names in French, German, Greek, Chinese and an emoji.
      {"utf-8", u8"café.jpg", u8"café.jpg"},
      {"utf-8", "caf%C3%A9.jpg", u8"café.jpg"},
      {"UTF-8", u8"Grüße.jpg", u8"Grüße.jpg"},
      {"utf8", "Gr%c3%bc%c3%9fe.jpg", u8"Grüße.jpg"},
      {"utf-8", u8"Ελλάδα/Ακρόπολη.jpg", u8"Ελλάδα/Ακρόπολη.jpg"},
      {"utf-8", "%CE%95%CE%BB%CE%BB%CE%AC%CE%B4%CE%B1.jpg", u8"Ελλάδα.jpg"},
      {"utf-8", u8"中文.png", u8"中文.png"},
      {"utf-8", "%E4%B8%AD%E6%96%87.png", u8"中文.png"},
      {"utf-8", u8"\U0001F600.gif", u8"\U0001F600.gif"},
      {"utf-8", "%F0%9F%98%80.gif", u8"\U0001F600.gif"},
      {"utf-8", u8"café%20中文&amp;%F0%9F%98%80.jpg", u8"café 中文&\U0001F600.jpg"},
      {"utf-8", "&#37;C3&#x25;A9.jpg", u8"é.jpg"},  // escapes spelled with references
      // Escapes that are no UTF-8 are windows-1252, the raw characters beside them as read.
      {"utf-8", "caf%E9.jpg", u8"café.jpg"},
      {"utf-8", u8"café%E9.jpg", u8"caféé.jpg"},
      {"utf-8", "%C3%28.jpg", u8"Ã(.jpg"},
      {"utf-8", "%C0%AF.jpg", u8"À¯.jpg"},           // an overlong "/" leaves no separator
      {"utf-8", "%ED%A0%80.jpg", u8"í\u00A0€.jpg"},  // a surrogate
      {"utf-8", "%E2%82.jpg", u8"â‚.jpg"},           // cut short
      {"utf-8", "%81%8D%8F%90%9D", u8"\u0081\u008D\u008F\u0090\u009D"},
      {"utf-8", "..%2F%2e%2e.jpg", "../...jpg"},
      {"utf-8", "a%00.jpg", "a\0.jpg"s},  // refused later, as everywhere
      // A windows-1252 sheet, and the labels browsers read as it: raw bytes and "%E9" alike.
      {"windows-1252", "caf\xE9.jpg", u8"café.jpg"},
      {"ISO-8859-1",
       "Gr\xFC\xDF"
       "e.jpg",
       u8"Grüße.jpg"},
      {"latin1", "%E9t%e9.jpg", u8"été.jpg"},
      {"us-ascii", "\x80 \x9F \x81.jpg", u8"€ Ÿ \u0081.jpg"},
      {"windows-1252", "caf%C3%A9.jpg", u8"café.jpg"},
      {"windows-1252", "%CE%95%CE%BB%CE%BB%CE%AC%CE%B4%CE%B1.jpg", u8"Ελλάδα.jpg"},
      {"windows-1252", "\xE9%C3%A9.jpg", u8"éé.jpg"},
      {"windows-1252", "\xE9%E9.jpg", u8"éé.jpg"},
      // Any other charset: ASCII and escapes only.
      {"Shift_JIS", "a%C3%A9.jpg", u8"aé.jpg"},
      // Raw bytes that are no characters of the sheet's charset name no file a browser opens.
      {"utf-8", "caf\xE9.jpg", "", true},
      {"utf-8", "\xC0\xAF.jpg", "", true},
      {"utf-8", "\xE4\xB8%AD.jpg", "", true},  // a character cut by an escape
      {"Shift_JIS", "\x93\xFA.jpg", "", true},
      {"", u8"café.jpg", "", true},
  };
  for (const BrowserNameCase& c : cases) {
    std::string name = "(none)";
    EXPECT_EQ(BrowserFileName(c.target, c.charset, &name), !c.refused)
        << c.target << " in " << c.charset;
    if (!c.refused) {
      EXPECT_EQ(name, c.name) << c.target << " in " << c.charset;
    }
  }
}

struct DepthCase {
  const char* pageName;
  std::size_t depth;
};

TEST(LinkFolderDepth, CountsFoldersAsABrowserResolvesThem) {
  const DepthCase cases[] = {
      {"a.htm", 0},
      {"photos/a.htm", 1},
      {"a/b/c/d.htm", 3},
      {"./a.htm", 0},
      {"./sub/a.htm", 1},
      {"sub/./a.htm", 1},
      {"sub/../a.htm", 0},
      {"a/b/../../c/d.htm", 1},
      {"sub//a.htm", 2},  // an empty segment is a folder of the address
      {"../a.htm", 0},    // ".." at the top stays at the top
      {"../../sub/a.htm", 1},
      {"%2e/sub/%2E%2e/x/a.htm", 1},  // "%2e" is read as "."
      {"sub/.%2E/a.htm", 0},
      {"sub/%2e%2e%2fa.htm", 1},  // an escaped "/" separates nothing in the link
      {"sub/...htm", 1},
      {"sub/.../a.htm", 2},
      {"photos/", 1},
      {"", 0},
  };
  for (const DepthCase& c : cases) {
    EXPECT_EQ(LinkFolderDepth(c.pageName), c.depth) << c.pageName;
  }
}

struct RebaseCase {
  const char* value;
  std::size_t depth;
  const char* rebased;
};

TEST(RebasedLink, PutsOneParentStepPerFolderBeforeRelativeLinks) {
  const RebaseCase cases[] = {
      {"photos/a.htm", 1, "../photos/a.htm"},
      {"index.html#end", 2, "../../index.html#end"},
      {"beach%20hut.htm", 1, "../beach%20hut.htm"},
      {"a&amp;b.jpg", 1, "../a&amp;b.jpg"},
      {"../x.jpg", 1, "../../x.jpg"},
      {"?page=2", 1, "../?page=2"},
      {"a/b:c.jpg", 1, "../a/b:c.jpg"},  // ":" after the first "/" is part of a path
      {"photos/a.htm", 0, "photos/a.htm"},
      // Not relative: kept whole.
      {"", 1, ""},
      {"/abs/a.jpg", 1, "/abs/a.jpg"},
      {"\\a.jpg", 1, "\\a.jpg"},
      {"#end", 1, "#end"},
      {"http://example.org/a.jpg", 1, "http://example.org/a.jpg"},
      {"C:a.jpg", 1, "C:a.jpg"},
      {"mailto:x", 1, "mailto:x"},
      {"data:image/png,x", 1, "data:image/png,x"},
  };
  for (const RebaseCase& c : cases) {
    std::string rebased(std::strlen(c.value) + 3 * c.depth, '#');
    rebased.resize(CopyRebasedLink(&rebased[0], c.value, c.depth) - &rebased[0]);
    EXPECT_EQ(rebased, c.rebased) << c.value << " at depth " << c.depth;
  }
}

}  // namespace
