#include "search/title_search.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/list_control.h"
#include "tests/support/fakes.h"

namespace pelmaro {
namespace {

// The title list, scripted dialogs and a record of the pages shown, as the window wires them.
struct TitleSearchFixture {
    explicit TitleSearchFixture(std::vector<std::string> titleItems)
        : titles(std::move(titleItems)),
          search(titles, dialogs, [this] { shown.push_back(titles.selectedIndex()); }) {}

    platform::MemoryList titles;
    test::ScriptedDialogs dialogs;
    std::vector<int> shown;
    TitleSearch search;
};

TEST(TitleSearch, repeatedSearchWalksForwardThenReportsNotFoundAndAsksAgain) {
    TitleSearchFixture f({"Alpha", "beta", "Alphabet"});
    f.dialogs.inputAnswers = {"alpha", "beta"};

    f.search.findNext();
    EXPECT_EQ(f.titles.selectedIndex(), 0);
    f.search.findNext();
    EXPECT_EQ(f.titles.selectedIndex(), 2);
    EXPECT_EQ(f.shown, (std::vector<int>{0, 2}));
    EXPECT_EQ(f.dialogs.inputs,
              (std::vector<std::string>{"enter a string to search: enter string"}));

    f.search.findNext();
    EXPECT_EQ(f.dialogs.messages, (std::vector<std::string>{"alpha not found"}));
    EXPECT_EQ(f.titles.selectedIndex(), -1);
    EXPECT_EQ(f.search.searchText(), "");

    f.search.findNext();
    EXPECT_EQ(f.dialogs.inputs.size(), 2u);
    EXPECT_EQ(f.titles.selectedIndex(), 1);
}

TEST(TitleSearch, searchOutcomesFromAGivenStart) {
    struct Case {
        const char* what;
        std::vector<std::string> titles;
        int selected;
        std::string text;
        int expectedSelection;  // -1: reported as not found
    };
    const Case cases[] = {
        {"last entry selected", {"alpha", "alpha"}, 1, "alpha", -1},
        {"starts after the selection", {"alpha", "x", "ALPHA"}, 0, "Alpha", 2},
        {"no wrap-around", {"alpha", "x"}, 0, "alpha", -1},
        {"empty catalogue", {}, -1, "alpha", -1},
        {"upper-case accented letter is not the lower-case one",
         {"\xc3\x89t\xc3\xa9"},
         -1,
         "\xc3\xa9t\xc3\xa9",
         -1},
        {"ascii case ignored beside accented letters", {"\xc3\x89t\xc3\xa9"}, -1, "\xc3\x89T", 0},
        {"bytes that are not UTF-8", {"ok", "\xff\xfe title"}, -1, "\xfe TITLE", 1},
        {"contiguous bytes only", {"al pha"}, -1, "alpha", -1},
    };
    for (const Case& c : cases) {
        TitleSearchFixture f(c.titles);
        if (c.selected >= 0) {
            f.titles.select(c.selected);
        }
        f.dialogs.inputAnswers.push_back(c.text);
        f.search.findNext();
        EXPECT_EQ(f.titles.selectedIndex(), c.expectedSelection) << c.what;
        if (c.expectedSelection < 0) {
            EXPECT_EQ(f.dialogs.messages, (std::vector<std::string>{c.text + " not found"}))
                << c.what;
            EXPECT_TRUE(f.shown.empty()) << c.what;
            EXPECT_EQ(f.search.searchText(), "") << c.what;
        } else {
            EXPECT_EQ(f.shown, (std::vector<int>{c.expectedSelection})) << c.what;
            EXPECT_EQ(f.search.searchText(), c.text) << c.what;
        }
    }
}

TEST(TitleSearch, emptyCatalogueAsksThenReportsNotFound) {
    TitleSearchFixture f({});
    f.dialogs.inputAnswers = {"intro"};
    f.search.findNext();
    EXPECT_EQ(f.dialogs.inputs.size(), 1u);
    EXPECT_EQ(f.dialogs.messages, (std::vector<std::string>{"intro not found"}));
}

TEST(TitleSearch, cancelledQuestionLeavesEverythingAsItWas) {
    TitleSearchFixture f({"Alpha"});
    f.titles.select(0);
    f.dialogs.inputAnswers = {std::nullopt};
    f.search.findNext();
    EXPECT_EQ(f.titles.selectedIndex(), 0);
    EXPECT_TRUE(f.dialogs.messages.empty());
    EXPECT_TRUE(f.shown.empty());
}

TEST(TitleSearch, newSearchForgetsTextAndSelectionAndStartsAtTheTop) {
    TitleSearchFixture f({"Alpha", "beta", "Alphabet"});
    f.dialogs.inputAnswers = {"beta", "alpha"};
    f.search.findNext();
    EXPECT_EQ(f.titles.selectedIndex(), 1);
    f.search.findFromTop();
    EXPECT_EQ(f.dialogs.inputs.size(), 2u);
    EXPECT_EQ(f.titles.selectedIndex(), 0);
    EXPECT_EQ(f.search.searchText(), "alpha");
}

TEST(TitleSearch, newSearchCancelledLeavesNothingSelected) {
    TitleSearchFixture f({"Alpha"});
    f.dialogs.inputAnswers = {"alpha", std::nullopt};
    f.search.findNext();
    f.search.findFromTop();
    EXPECT_EQ(f.titles.selectedIndex(), -1);
    EXPECT_EQ(f.search.searchText(), "");
    EXPECT_TRUE(f.dialogs.messages.empty());
}

TEST(FindTitles, listsEveryTitleSearchWouldStopAtInCatalogueOrder) {
    const std::vector<std::string> titles = {"Alpha", "beta", "Alphabet", "ALPHA", "alp ha"};
    EXPECT_EQ(findTitles(titles, "alpha"), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(findTitles(titles, "gamma"), std::vector<int>{});
    EXPECT_EQ(findTitles(titles, ""), std::vector<int>{});

    // The stops of repeated Search clicks are the same list.
    TitleSearchFixture f(titles);
    f.dialogs.inputAnswers.push_back("alpha");
    std::vector<int> stops;
    for (f.search.findNext(); !f.search.searchText().empty(); f.search.findNext()) {
        stops.push_back(f.titles.selectedIndex());
    }
    EXPECT_EQ(stops, findTitles(titles, "alpha"));
}

}  // namespace
}  // namespace pelmaro
