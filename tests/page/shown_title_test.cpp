#include "page/shown_title.h"

#include <gtest/gtest.h>

#include "page/html_references.h"
#include "page/page_title.h"
#include "page/text_encoding.h"
#include "tests/support/fake_file_system.h"

namespace pelmaro {
namespace {

using namespace std::string_literals;

TEST(CharacterReferences, FollowTheHtmlRules) {
    const std::pair<const char*, const char*> cases[] = {
        {"String (Java SE 17 &amp; JDK 17)", "String (Java SE 17 & JDK 17)"},
        {"a &#8212; b &#x2014; c &#X2014 d", "a \u2014 b \u2014 c \u2014 d"},
        {"&lt;&gt;&quot;&apos;&nbsp;&eacute;&Eacute;", "<>\"'\u00a0\u00e9\u00c9"},
        {"&NotEqualTilde; &fjlig; &CounterClockwiseContourIntegral;", "\u2242\u0338 fj \u2233"},
        {"&copy 2024, &notin; &notit;", "\u00a9 2024, \u2209 \u00acit;"},  // legacy, longest
        {"&unknown; & && &; &#; &#x; &#xg; &# 1", "&unknown; & && &; &#; &#x; &#xg; &# 1"},
        {"&#0;|&#xD800;|&#xDFFF;|&#x110000;|&#99999999999999;",
         "\ufffd|\ufffd|\ufffd|\ufffd|\ufffd"},
        {"&#128;&#x82;&#150;&#x9F;", "\u20ac\u201a\u2013\u0178"},  // windows-1252 remapped
        {"&#x81;&#x8D;&#x10FFFF;&#xFFFE;", "\u0081\u008d\U0010ffff\ufffe"},
        {"&#65&#x42;C", "ABC"},
        {"cut: &amp", "cut: &"},  // the text may end inside a reference
        {"cut: &am", "cut: &am"},
        {"cut: &#x4", "cut: \u0004"},
        {"cut: &#", "cut: &#"},
        {"&AMP;&amp;amp;", "&&amp;"},  // decoded once
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(decodeCharacterReferences(text), shown) << text;
    }
}

TEST(PageEncoding, ComesFromTheBomTheMetaTagOrTheXmlDeclaration) {
    const struct {
        std::string head;
        bool xml;
        const char* encoding;
        EncodingSource source;
    } cases[] = {
        {"\xEF\xBB\xBF<meta charset=gbk>", false, "UTF-8", EncodingSource::ByteOrderMark},
        {"\xFF\xFE<\0", false, "UTF-16LE", EncodingSource::ByteOrderMark},
        {"\xFE\xFF\0<", false, "UTF-16BE", EncodingSource::ByteOrderMark},
        {"<html><head><META CHARSET='GB2312'>", false, "GB18030", EncodingSource::MetaTag},
        {"<meta charset=shift_jis />", false, "CP932", EncodingSource::MetaTag},
        {"<meta charset=shift_jis/>", false, "", EncodingSource::None},  // "shift_jis/"
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">", false,
         "WINDOWS-1251", EncodingSource::MetaTag},
        {"<meta content='text/html;charset=\"koi8-r\"' http-equiv=content-type>", false, "KOI8-R",
         EncodingSource::MetaTag},
        {"<meta content=\"text/html; charset=big5\">", false, "", EncodingSource::None},
        {"<meta charset=utf-16><meta charset=gbk>", false, "UTF-8", EncodingSource::MetaTag},
        {"<meta charset=latin1>", false, "CP1252", EncodingSource::MetaTag},
        {"<!DOCTYPE html><meta charset='UTF-8'>", false, "UTF-8", EncodingSource::MetaTag},
        {"<p>no declaration</p>", false, "", EncodingSource::None},
        {"<meta charset=x-nonsense><meta charset=euc-kr>", false, "CP949", EncodingSource::MetaTag},
        {"<!-- <meta charset=gbk> --><p title='<meta charset=gbk>'>", false, "",
         EncodingSource::None},
        {"<meta charset=\"gbk", false, "", EncodingSource::None},  // cut by the head's end
        {"<meta charset=gbk", false, "", EncodingSource::None},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?><meta charset=gbk>", true, "ISO-8859-15",
         EncodingSource::XmlDeclaration},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?><meta charset=gbk>", false, "GB18030",
         EncodingSource::MetaTag},
        {"<?xml version='1.0' encoding='windows-1250'?><html>", false, "WINDOWS-1250",
         EncodingSource::XmlDeclaration},
        {"<?xml version='1.0'?><html>", true, "", EncodingSource::None},
    };
    for (const auto& c : cases) {
        const PageEncoding found = sniffPageEncoding(c.head, true, c.xml);
        EXPECT_EQ(found.name, c.encoding) << c.head;
        EXPECT_EQ(found.source, c.source) << c.head;
    }
    // Text files declare nothing but a byte-order mark.
    EXPECT_EQ(sniffPageEncoding("<meta charset=gbk>", false).name, "");
}

struct ShownCase {
    const char* name;
    std::string content;
    std::string shown;
};

const ShownCase kShownCases[] = {
    // References, in markup titles only.
    {"jdk.html", "<title>String (Java SE 17 &amp; JDK 17)</title>", "String (Java SE 17 & JDK 17)"},
    {"py.htm", "<title>os &#8212; Misc</title>", "os \u2014 Misc"},
    {"notes.txt", "a &amp; b\r\n", "a &amp; b"},
    // The page's own encoding.
    {"gbk.htm", "<meta charset=\"gbk\"><title>\xB0\xEF\xD6\xFA</title>", "\u5e2e\u52a9"},
    {"cp1251.html",
     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
     "<title>\xCF\xF0\xE8\xE2\xE5\xF2</title>",
     "\u041f\u0440\u0438\u0432\u0435\u0442"},
    {"sjis.htm", "<meta charset=Shift_JIS><title>\x93\xFA\x96\x7B &amp; \x83\x41</title>",
     "\u65e5\u672c & \u30a2"},
    {"latin1.xml",
     "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><title>\x93\xE9t\xE9\x94</title>",
     "\u201c\u00e9t\u00e9\u201d"},
    {"bom.txt", "\xEF\xBB\xBF\x63\x61\x66\xC3\xA9\r\n", "caf\u00e9"},
    {"utf16le.txt", "\xFF\xFEH\0\xE9\0\r\0\n\0x\0"s, "H\u00e9"},
    {"utf16be.htm", "\xFE\xFF\0<\0t\0i\0t\0l\0e\0>\0\xE9\0&\0a\0m\0p\0;\0<\0/\0t\0i\0t\0l\0e\0>"s,
     "\u00e9&"},
    // Nothing declared: UTF-8 when valid, else windows-1252.
    {"plain-utf8.htm", "<title>\xC3\x89t\xC3\xA9</title>", "\u00c9t\u00e9"},
    {"plain-1252.htm", "<title>\x93\x63\x61\x66\xE9\x94 \x81</title>",
     "\u201c\x63\x61\x66\u00e9\u201d \u0081"},
    {"latin1-end.htm", "<title>caf\xE9</title>", "caf\u00e9"},  // not a cut UTF-8 sequence
    {"nonsense.htm", "<meta charset=x-nonsense><title>caf\xE9</title>", "caf\u00e9"},
    {"in-comment.htm", "<!-- <meta charset=gbk> --><title>\xB0\xEF</title>", "\u00b0\u00ef"},
    // Bytes the declared encoding can't read are replaced, never dropped.
    {"bad-utf8.htm", "<meta charset=utf-8><title>caf\xE9!</title>", "caf\ufffd!"},
    {"bad-gbk.htm", "<meta charset=gbk><title>\xB0\xEF\xFF\xD6</title>", "\u5e2e\ufffd\ufffd"},
    // Whitespace as document.title has it; an empty result shows the file name.
    {"blanks.htm", "<title>  a \t b&#32; </title>", "a b"},
    {"only-space.htm", "<title>&#32;&#9;</title>", "only-space"},
    // File names: UTF-8 when valid, else windows-1252; no references.
    {"caf\xE9.gif", "GIF89a", "caf\u00e9"},
    {"\xE6\x97\xA5\xE6\x9C\xAC.jpg", "\xFF\xD8", "\u65e5\u672c"},
    {"a&amp;b.bmp", "BM", "a&amp;b"},
    {"no-title.htm", "<meta charset=gbk><p>\xB0\xEF</p>", "no-title"},
};

TEST(ShownTitle, DecodesEachEntryAsItsPageReadsIt) {
    test::FakeFileSystem files;
    TitleDecoder decoder(files);
    int entry = 0;
    for (const auto& c : kShownCases) {
        const std::string path = std::string("/mem/") + c.name;
        files.inMemory[path] = c.content;
        const std::string stored = extractPageTitle(files, path);
        EXPECT_EQ(decodeShownTitle(files, stored, path), c.shown) << c.name;
        EXPECT_EQ(decoder.shown(entry++, stored, path), c.shown) << c.name;
    }
}

TEST(ShownTitle, ReadsAHeadOnlyWhenTheBytesNeedIt) {
    test::FakeFileSystem files;
    TitleDecoder decoder(files);
    files.inMemory["/mem/a.html"] = "<meta charset=gbk><title>x</title>";
    EXPECT_EQ(decoder.shown(0, "Array &amp; List", "/mem/a.html"), "Array & List");
    EXPECT_EQ(decoder.shown(1, "logo", "/mem/logo.gif"), "logo");
    EXPECT_EQ(files.opened, 0);
    EXPECT_EQ(decoder.shown(2, "\xB0\xEF", "/mem/a.html"), "\u5e2e");
    EXPECT_EQ(decoder.shown(2, "\xB0\xEF", "/mem/a.html"), "\u5e2e");  // cached
    EXPECT_EQ(files.opened, 1);
    EXPECT_EQ(decoder.headsRead(), 1u);
    EXPECT_EQ(decoder.cachedCount(), 3u);
    ASSERT_NE(decoder.cached(2), nullptr);
    EXPECT_EQ(decoder.cached(3), nullptr);
    // A page that is gone is decoded without its head.
    EXPECT_EQ(decoder.shown(3, "caf\xE9", "/nowhere/gone.htm"), "caf\u00e9");
}

TEST(ShownTitle, AHeadCutInsideADeclarationOrACharacterCountsForNothingCut) {
    test::FakeFileSystem files;
    // The meta tag straddles the end of the head: no declaration, so windows-1252.
    std::string page(kPageHeadSize - 12, ' ');
    page += "<meta charset=gbk><title>\xB0\xEF</title>";
    files.inMemory["/mem/late.htm"] = page;
    EXPECT_EQ(decodeShownTitle(files, "\xB0\xEF", "/mem/late.htm"), "\u00b0\u00ef");

    // A UTF-16 first line longer than the head, cut inside a surrogate pair: no U+FFFD at the end.
    std::string text = "\xFF\xFE"s;
    while (text.size() < kPageHeadSize - 2) {
        text += "a\0"s;
    }
    text += "\x3D\xD8\x00\xDE"s;  // U+1F600 across the end of the head
    files.inMemory["/mem/long.txt"] = text;
    const std::string shown = decodeShownTitle(files, "\xFF\xFE"s + "a", "/mem/long.txt");
    EXPECT_EQ(shown, std::string((kPageHeadSize - 2) / 2 - 1, 'a'));
}

TEST(TextEncoding, ConvertersReplaceWhatTheyCantRead) {
    Converter gbk("GB18030", Converter::Direction::ToUtf8);
    ASSERT_TRUE(gbk.valid());
    std::string out;
    EXPECT_TRUE(gbk.convert("\xB0\xEF\xD6", out));  // cut inside a character
    EXPECT_EQ(out, "\u5e2e\ufffd");
    Converter utf16("UTF-16LE", Converter::Direction::ToUtf8);
    out.clear();
    EXPECT_TRUE(utf16.convert("a\0\x00\xD8\x62\0"s, out));  // a lone surrogate, then "b"
    EXPECT_EQ(out, "a\ufffd\x62");
    Converter toGbk("GB18030", Converter::Direction::FromUtf8);
    out = "x";
    EXPECT_TRUE(toGbk.convert("\u5e2e\u52a9", out));
    EXPECT_EQ(out, "x\xB0\xEF\xD6\xFA");
    Converter toLatin1("CP1252", Converter::Direction::FromUtf8);
    out.clear();
    EXPECT_FALSE(toLatin1.convert("\u5e2e", out));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(Converter("NO-SUCH-ENCODING", Converter::Direction::ToUtf8).valid());
    EXPECT_TRUE(isValidUtf8("\xC3\xA9"));
    EXPECT_FALSE(isValidUtf8("\xC3"));
    EXPECT_TRUE(isValidUtf8("\xE2\x80", true));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // a surrogate
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));      // overlong
    EXPECT_EQ(encodingForLabel(" UTF8 "), "UTF-8");
    EXPECT_EQ(encodingForLabel("x/../../evil"), "");
}

}  // namespace
}  // namespace pelmaro
