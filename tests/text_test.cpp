// The bounded path routines and the two comparisons of the run-mode choice.
#include "autorun/text.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string>

using platform::MaxPath;

namespace {

std::u16string Units(int count, char16_t unit = u'a') {
    return std::u16string(static_cast<std::size_t>(count), unit);
}

} // namespace

TEST(BoundedLength, StopsAtTheLimit) {
    std::u16string text = Units(10);
    EXPECT_EQ(10, BoundedLength(text.c_str(), 11));
    EXPECT_EQ(-1, BoundedLength(text.c_str(), 10)); // terminator beyond the limit
    EXPECT_EQ(0, BoundedLength(u"", 1));
}

TEST(AppendToPath, FillsTheBufferExactlyButNeverBeyond) {
    char16_t path[MaxPath + 8];
    std::u16string guard = Units(8, u'#');
    for (int i = 0; i < 8; ++i) {
        path[MaxPath + i] = guard[static_cast<std::size_t>(i)];
    }

    ASSERT_TRUE(CopyToPath(path, Units(200).c_str()));
    // 59 more units make 259 and the terminator: the last that fits.
    EXPECT_TRUE(AppendToPath(path, Units(59, u'b').c_str()));
    EXPECT_EQ(Units(200) + Units(59, u'b'), std::u16string(path));

    // One more unit does not fit: nothing changes, nothing is cut short.
    EXPECT_FALSE(AppendToPath(path, u"c"));
    EXPECT_EQ(Units(200) + Units(59, u'b'), std::u16string(path));
    EXPECT_EQ(guard, std::u16string(path + MaxPath, 8));
}

TEST(AppendToPath, RefusesATooLongTextWhole) {
    char16_t path[MaxPath] = u"\\Card\\";
    EXPECT_FALSE(AppendToPath(path, Units(MaxPath - 6).c_str()));
    EXPECT_EQ(u"\\Card\\", std::u16string(path));
    EXPECT_TRUE(AppendToPath(path, Units(MaxPath - 7).c_str()));
    EXPECT_EQ(MaxPath - 1, BoundedLength(path, MaxPath));
}

TEST(AppendToPath, RefusesAPathWithoutTerminator) {
    char16_t path[MaxPath];
    for (char16_t& unit : path) {
        unit = u'x';
    }
    EXPECT_FALSE(AppendToPath(path, u""));
    EXPECT_EQ(u'x', path[MaxPath - 1]);
}

TEST(CopyToPath, CopiesWhatFitsAndLeavesTheRest) {
    char16_t path[MaxPath] = u"before";
    EXPECT_FALSE(CopyToPath(path, Units(MaxPath).c_str()));
    EXPECT_EQ(u"before", std::u16string(path));
    EXPECT_TRUE(CopyToPath(path, Units(MaxPath - 1).c_str()));
    EXPECT_EQ(Units(MaxPath - 1), std::u16string(path));
}

TEST(EqualsIgnoringCase, IgnoresTheCaseOfAsciiLettersOnly) {
    EXPECT_TRUE(EqualsIgnoringCase(u"install", u"INSTALL"));
    EXPECT_TRUE(EqualsIgnoringCase(u"\\WINDOWS\\Autorun.EXE", u"\\Windows\\autorun.exe"));
    EXPECT_TRUE(EqualsIgnoringCase(u"", u""));
    EXPECT_FALSE(EqualsIgnoringCase(u"install", u"install "));
    EXPECT_FALSE(EqualsIgnoringCase(u"install", u"instal"));
    EXPECT_FALSE(EqualsIgnoringCase(u"", u"install"));
    // Only letters fold: "@" and "`" sit next to "A" and "a".
    EXPECT_FALSE(EqualsIgnoringCase(u"@", u"`"));
    EXPECT_FALSE(EqualsIgnoringCase(u"[", u"{"));
}

TEST(Contains, FindsTheExactTextAnywhere) {
    EXPECT_TRUE(Contains(u"\\Windows\\Start Menu\\Programs\\Dorna & Kel.exe", u"Dorna & Kel"));
    EXPECT_TRUE(Contains(u"\\Dorna & Kel\\autorun.exe", u"Dorna & Kel"));
    EXPECT_TRUE(Contains(u"Dorna & Kel", u"Dorna & Kel"));
    EXPECT_TRUE(Contains(u"aaab", u"aab")); // a partial match before the real one
    EXPECT_FALSE(Contains(u"\\dorna & kel.exe", u"Dorna & Kel"));
    EXPECT_FALSE(Contains(u"Dorna & Ke", u"Dorna & Kel")); // text ends inside the match
    EXPECT_FALSE(Contains(u"", u"a"));
}

TEST(Contains, EmptyPartMatchesNothing) {
    EXPECT_FALSE(Contains(u"\\Windows\\autorun.exe", u""));
    EXPECT_FALSE(Contains(u"", u""));
}
