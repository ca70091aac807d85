// UTF-8 and UTF-16 names: every Windows name must survive the trip through
// the programs' UTF-8 unchanged, and stray bytes must not be read past.
#include "wide_names.hpp"

#include <gtest/gtest.h>

#include <random>

using namespace md3;

TEST(WideNames, EncodesEachLengthAndLoneSurrogates) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"Zo\u00EB", "Zo\xC3\xAB"},
        {u"\u30E2\u30C7\u30EB", "\xE3\x83\xA2\xE3\x83\x87\xE3\x83\xAB"},
        {u"\U0001F680", "\xF0\x9F\x9A\x80"},             // a surrogate pair
        {std::u16string(1, u'\xD83D'), "\xED\xA0\xBD"},  // a high one alone
        {u"\xDE80\xD83D", "\xED\xBA\x80\xED\xA0\xBD"},   // a pair the wrong way round
        {u"\uFFFF", "\xEF\xBF\xBF"},
    };
    for (const auto& [wide, narrow] : cases) {
        EXPECT_EQ(utf8_from_utf16(wide), narrow);
        EXPECT_EQ(utf16_from_utf8(narrow), wide);
    }
    // Truncated, stray, overlong and out-of-range sequences: one U+FFFD a byte.
    EXPECT_EQ(utf16_from_utf8("a\xE3\x83"), u"a\uFFFD\uFFFD");
    EXPECT_EQ(utf16_from_utf8("\x80\xC0\xAF"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(utf16_from_utf8("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(utf16_from_utf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(WideNames, AnyUtf16SurvivesTheRoundTrip) {
    std::mt19937 pick(7);
    // Mostly surrogates, so that pairs, lone halves and reversed pairs all occur.
    const char16_t pool[] = {u'a',      u'\u00E9', u'\u0800', u'\uFFFD',
                             u'\xD800', u'\xDBFF', u'\xDC00', u'\xDFFF'};
    for (int round = 0; round < 20000; ++round) {
        std::u16string text(pick() % 8, u'\0');
        for (char16_t& c : text) c = pick() % 2 ? pool[pick() % 8] : static_cast<char16_t>(pick());
        ASSERT_EQ(utf16_from_utf8(utf8_from_utf16(text)), text);
    }
}
