#include "browsing/served_types.h"

#include <gtest/gtest.h>

namespace pelmaro::browsing {
namespace {

TEST(ServedType, TextFilesNameTheEncodingTheirTitleIsDecodedIn_otherTypesAsTheTableSays) {
    using namespace std::string_literals;
    const struct {
        const char* name;
        std::string head;
        bool wholeFile;
        const char* expected;
    } cases[] = {
        {"a.txt", "H\xC3\xA4ring\n", true, "text/plain;charset=utf-8"},
        {"A.TXT", "H\xE4ring\n", true, "text/plain;charset=windows-1252"},
        {"a.txt", "plain ASCII", true, "text/plain;charset=utf-8"},
        {"a.txt", "", true, "text/plain;charset=utf-8"},
        // The head ends inside a character of a longer UTF-8 file, or a whole file ends so.
        {"a.txt", "H\xC3", false, "text/plain;charset=utf-8"},
        {"a.txt", "H\xC3", true, "text/plain;charset=windows-1252"},
        {"a.txt", "\xEF\xBB\xBFH\xE4ring", true, "text/plain;charset=utf-8"},
        {"a.txt", "\xFF\xFEH\0"s, true, "text/plain;charset=utf-16le"},
        {"a.txt", "\xFE\xFF\0H"s, true, "text/plain;charset=utf-16be"},
        {"notes.log", "H\xE4ring", true, "text/plain;charset=windows-1252"},
        // Markup declares its own encoding, which a charset here would override.
        {"a.htm", "<meta charset=gbk>\xC4\xE3", true, "text/html"},
        {"a.xml", "H\xE4ring", true, "text/xml"},
        {"a.css", "H\xE4ring", true, "text/css"},
        {"a.gif", "GIF89a\xE4", true, "image/gif"},
        {"a.unknown", "", true, "application/octet-stream"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + (": " + c.head));
        EXPECT_EQ(servedType(c.name, c.head, c.wholeFile), c.expected);
    }
}

}  // namespace
}  // namespace pelmaro::browsing
