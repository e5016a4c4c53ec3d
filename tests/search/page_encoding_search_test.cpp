#include <gtest/gtest.h>

#include <string>

#include "search/text_matcher.h"
#include "tests/support/fake_file_system.h"

namespace pelmaro {
namespace {

using namespace std::string_literals;

// "帮助" is B0 EF D6 FA in GBK; "été" is E9 74 E9 in latin-1.
const std::string kGbkHelp = "\xB0\xEF\xD6\xFA";

TEST(FileTextScanner, FindsTheTextInThePagesDeclaredEncoding) {
    const std::string filler(300, 'x');
    const struct {
        const char* name;
        std::string content;
        const char* text;
        bool found;
    } cases[] = {
        {"gbk.htm", "<meta charset=\"gbk\"><title>t</title><p>\xD5\xE2\xCA\xC7" + kGbkHelp + "</p>",
         "\u5e2e\u52a9", true},
        {"gbk-split.htm", "<meta charset=gbk>" + filler + "\xB0\xEF\r\n\xD6\xFA", "\u5e2e\u52a9",
         true},  // across blocks and a line break
        {"gbk-mixed.htm", "<meta charset=gb2312><p>HELP " + kGbkHelp, "help \u5e2e\u52a9", true},
        {"gbk-none.htm", "<meta charset=gbk><p>\xB0\xEF \xD6\xFA", "\u5e2e\u52a9", false},
        {"undeclared.htm", "<p>" + kGbkHelp, "\u5e2e\u52a9", false},  // declared pages only
        {"gbk.txt", kGbkHelp, "\u5e2e\u52a9", false},  // a text file declares nothing
        {"utf8.htm", "<meta charset=gbk><p>\u5e2e\u52a9", "\u5e2e\u52a9", true},  // bytes stay
        {"latin1.html",
         "<meta http-equiv=Content-Type content=\"text/html; charset=ISO-8859-1\"><p>L'\xE9t\xE9",
         "l'\u00e9t\u00e9", true},
        {"latin1.xml", "<?xml version='1.0' encoding='latin1'?><p>\xC9T\xC9</p>", "\u00c9t\u00c9",
         true},
        {"utf16.htm", "\xFF\xFE<\0p\0>\0H\0e\0l\0p\0 \0\x2E\x5E\xA9\x52"s, "help \u5e2e\u52a9",
         true},
        {"utf16be.txt", "\xFE\xFF\0S\0e\0t\0\r\0\n\0u\0p"s, "setup", true},
        {"iso2022.htm",
         "<meta charset=iso-2022-jp><p>\x1B$BF|K\\\x1B(B</p>",  // "日本"
         "\u65e5\u672c", true},
        {"no-such.htm", "<meta charset=no-such-thing><p>" + kGbkHelp, "\u5e2e\u52a9", false},
    };
    test::FakeFileSystem files;
    for (const auto& c : cases) {
        files.inMemory[std::string("/mem/") + c.name] = c.content;
    }
    for (const std::size_t block : {std::size_t{7}, std::size_t{64}, std::size_t{256 * 1024}}) {
        for (const auto& c : cases) {
            FileTextScanner scanner(c.text, block);
            EXPECT_EQ(scanner.scan(files, std::string("/mem/") + c.name) ==
                          FileTextScanner::Outcome::Found,
                      c.found)
                << c.name << " in blocks of " << block;
        }
    }
}

}  // namespace
}  // namespace pelmaro
