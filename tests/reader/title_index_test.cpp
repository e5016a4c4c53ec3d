#include "reader/title_index.h"

#include <gtest/gtest.h>

#include "platform/list_control.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

namespace pelmaro {
namespace {

struct IndexRig {
    explicit IndexRig(const test::TempDir& dir) {
        titles.assign({"Java &amp; more", "&Eacute;t&eacute;"});
        paths.assign({dir.write("a.htm", "<title>x</title>"), dir.write("b.htm", "")});
    }
    platform::MemoryList titles, paths;
    test::FakeFileSystem files;
    test::FakeUiThread ui;
    TitleIndex index{{titles, paths}, files, ui};
};

TEST(TitleIndex, WorkThatNeedsEveryTitleWaitsForTheIndexOfItsCatalogue) {
    test::TempDir dir;
    IndexRig rig(dir);
    int indexed = 0;
    rig.index.setOnIndexed([&] { ++indexed; });
    std::vector<std::string> ran;
    rig.index.whenReady([&] { ran.push_back("before any index"); });
    rig.index.index();
    rig.index.whenReady([&] { ran.push_back("while indexing"); });
    EXPECT_TRUE(ran.empty());  // nothing read on this thread meanwhile
    ASSERT_TRUE(rig.ui.runUntil([&] { return rig.index.ready(); }));
    EXPECT_EQ(indexed, 1);
    EXPECT_EQ(ran, (std::vector<std::string>{"before any index", "while indexing"}));
    EXPECT_EQ(rig.index.shownTitle(0), "Java & more");
    EXPECT_EQ(rig.index.shownTitle(1), "\u00c9t\u00e9");
    EXPECT_EQ(rig.index.shownTitle(2), "");
    rig.index.whenReady([&] { ran.push_back("when ready"); });
    EXPECT_EQ(ran.back(), "when ready");  // at once

    // Another catalogue: what waited for the old index goes with it, and so does that index.
    rig.index.index();
    rig.index.whenReady([&] { ran.push_back("old catalogue"); });
    rig.titles.assign({"New"});
    rig.index.forget();
    EXPECT_FALSE(rig.index.quickFind("java"));
    rig.ui.runPosted();
    rig.index.index();
    ASSERT_TRUE(rig.ui.runUntil([&] { return rig.index.ready(); }));
    EXPECT_EQ(ran.back(), "when ready");
    EXPECT_EQ(rig.index.shownTitle(0), "New");
}

}  // namespace
}  // namespace pelmaro
