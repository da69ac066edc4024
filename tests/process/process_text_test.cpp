// Matching window class names against the terminate list, and the 8-bit
// texts of class names and program paths in the log. Wide texts that go
// through the narrowing are written as UTF-16 units, as the shipped program
// holds them: a character beyond U+FFFF is two units there.
#include "process/process_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/utf16.h"

namespace dormivel {
namespace {

using namespace std::string_literals;
using test::fromUtf16;

TEST(ProcessText, ListedClassIsAWholeCaseSensitiveMatch) {
    const std::vector<std::wstring> list = {L"Notepad", L"", L"Media Player", L"x"};
    struct Case {
        std::wstring className;
        bool listed;
    };
    const Case cases[] = {
        {L"Notepad", true},  {L"Media Player", true}, {L"x", true},
        {L"notepad", false},                                                    // letter case counts
        {L"NOTEPAD", false}, {L"Notepad2", false},                              // whole string, not a prefix
        {L"Note", false},    {L" Notepad", false},                              // nothing is trimmed
        {L"Media", false},   {L"X", false},           {L"Notepad\0x"s, false},  // an embedded NUL is part of the name
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isListedClass(list, c.className), c.listed) << c.className.size();
    }
    // An empty entry matches no real (non-empty) class name.
    EXPECT_FALSE(isListedClass({L""}, L"Notepad"));
    EXPECT_FALSE(isListedClass({}, L"Notepad"));
}

TEST(ProcessText, ClassNameBeyondLatin1GivesAnEmptyText) {
    struct Case {
        std::u16string className;
        std::string expected;
    };
    const Case cases[] = {
        {u"Plain", "Plain"},
        {u"", ""},
        {u"Caf\u00E9 \u00FF\u0080", "Caf\xE9 \xFF\x80"},  // Latin-1 keeps its codes
        {u"Name\u0100", ""},                              // one character beyond spoils the lot
        {u"\u20ACuro", ""},
        {u"Smile\U0001F600", ""},  // beyond U+FFFF: two units, both beyond
        {u"a\0b"s, "a\0b"s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(narrowClassName(fromUtf16(c.className)), c.expected) << c.expected;
    }
}

TEST(ProcessText, ProgramPathNarrowsEachUnitOnItsOwn) {
    struct Case {
        std::u16string path;
        std::string expected;
    };
    const Case cases[] = {
        {u"C:\\Program Files\\Kalvor\\tool.exe", "C:\\Program Files\\Kalvor\\tool.exe"},
        {u"", ""},
        {u"C:\\Caf\u00E9\\a.exe", "C:\\Caf\xE9\\a.exe"},
        {u"C:\\\u0132\\\u00FF.exe", "C:\\\xFF\\\xFF.exe"},  // beyond Latin-1 and U+00FF alike give 0xFF
        // One byte per UTF-16 unit: a character beyond U+FFFF gives two.
        {u"\u20AC\u0100\U0001F600x", "\xFF\xFF\xFF\xFFx"},
        {u"\xD83Dx", "\xFFx"},  // a lone surrogate is one unit like any other
    };
    for (const auto& c : cases) {
        EXPECT_EQ(narrowProgramPath(fromUtf16(c.path)), c.expected) << c.expected;
    }
}

// The quoted path alone, read back by the runtime's splitting rules as one
// argument equal to the path.
TEST(ProgramCommandLine, ThePathQuotedAndNothingElse) {
    struct Case {
        std::wstring path;
        std::wstring line;
    };
    const Case cases[] = {
        {L"C:\\Tools\\refresh guide.exe", L"\"C:\\Tools\\refresh guide.exe\""},
        {L"guide.exe", L"\"guide.exe\""},
        {L"\\\\server\\share\\a b.exe", L"\"\\\\server\\share\\a b.exe\""},
        {L"", L"\"\""},
        // Backslashes before the closing quote are doubled so that they do not
        // escape it; a double quote (not valid in a path) is escaped.
        {L"C:\\odd\\", L"\"C:\\odd\\\\\""},
        {L"a\"b", L"\"a\\\"b\""},
        {L"a\\\"b", L"\"a\\\\\\\"b\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(programCommandLine(c.path), c.line) << narrowProgramPath(c.path);
}

}  // namespace
}  // namespace dormivel
