#include "page/page_types.h"

#include <gtest/gtest.h>

namespace pelmaro {
namespace {

TEST(PageTypes, TextKindByExtensionInAnyCase) {
    const std::pair<const char*, TextKind> cases[] = {
        {"/d/a.htm", TextKind::Markup}, {"/d/a.HTML", TextKind::Markup},
        {"/d/a.Asp", TextKind::Markup}, {"/d/a.xml", TextKind::Xml},
        {"/d/a.XML", TextKind::Xml},    {"/d/a.txt", TextKind::Plain},
        {"/d/a.TxT", TextKind::Plain},  {"/d/a.gif", TextKind::None},
        {"/d/a.css", TextKind::None},   {"/d/a.txt.bak", TextKind::None},
        {"/d.txt/a", TextKind::None},   {"/d/txt", TextKind::None},
    };
    for (const auto& [name, kind] : cases) {
        EXPECT_EQ(textKindOf(name), kind) << name;
        EXPECT_EQ(isTextType(name), kind != TextKind::None) << name;
        EXPECT_EQ(isMarkupType(name), kind == TextKind::Markup || kind == TextKind::Xml) << name;
    }
}

}  // namespace
}  // namespace pelmaro
