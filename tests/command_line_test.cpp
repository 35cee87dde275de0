// The desktop entry point's command line: the program's name is skipped by
// the platform's quoting rules with the one blank after it, and WinMain gets
// what follows, untrimmed.
#include "platform/win32/command_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct Line {
    const char* what;
    std::u16string commandLine;
    std::u16string arguments;
};

std::ostream& operator<<(std::ostream& out, const Line& line) {
    return out << line.what;
}

class ProgramName : public testing::TestWithParam<Line> {};

TEST_P(ProgramName, IsSkippedWithTheBlankAfterIt) {
    std::u16string buffer = GetParam().commandLine;
    char16_t* arguments = win32::SkipProgramName(buffer.data());
    EXPECT_EQ(GetParam().arguments, std::u16string(arguments));
    // A pointer into the command line itself, at the start of its arguments.
    EXPECT_EQ(buffer.data() + buffer.size() - GetParam().arguments.size(), arguments);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramName,
    testing::Values(
        Line{"quoted path with spaces", u"\"C:\\Program Files\\Card\\autorun.exe\" install",
             u"install"},
        Line{"unquoted path", u"C:\\windows\\autorun.exe uninstall", u"uninstall"},
        Line{"no arguments", u"C:\\windows\\autorun.exe", u""},
        Line{"quoted, no arguments", u"\"C:\\Start Menu\\Dorna & Kel.exe\"", u""},
        Line{"only blanks after the name", u"autorun.exe   \t ", u"  \t "},
        Line{"one blank after the name", u"autorun.exe ", u""},
        Line{"arguments after several spaces", u"autorun.exe     install", u"    install"},
        // A shell that starts the program with " install" builds this line:
        // WinMain gets " install", as it would on the device.
        Line{"arguments that start with a blank", u"\"\\Windows\\autorun.exe\"  install",
             u" install"},
        Line{"a tab ends the name", u"autorun.exe\tinstall", u"install"},
        Line{"a tab after the separator", u"autorun.exe \tinstall", u"\tinstall"},
        Line{"a tab among the blanks", u"autorun.exe \t install", u"\t install"},
        Line{"arguments keep their quotes and spaces", u"a.exe  \"x  y\"  z ", u" \"x  y\"  z "},
        Line{"quoted part inside the name", u"C:\\\"Program Files\"\\a.exe run", u"run"},
        Line{"name goes on after its quotes", u"\"C:\\a b\"\\c.exe x", u"x"},
        Line{"empty command line", u"", u""}, Line{"only blanks", u"   ", u"  "},
        Line{"quote never closed", u"\"C:\\a b\\autorun.exe install", u""}));

} // namespace
