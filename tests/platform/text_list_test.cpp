#include "platform/text_list.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace pelmaro::platform {
namespace {

using Lines = std::vector<std::string>;

// The list against a vector of strings under random pushes, changes and removals: items of every
// length class (empty, short, longer than one length byte holds) across many index steps. Copies
// taken along the way share the items, and keep what they had whatever the list does after.
TEST(TextList, BehavesAsAVectorOfStrings) {
    std::mt19937 random(3);
    TextList list;
    Lines model;
    std::vector<std::pair<TextList, Lines>> copies;
    const auto randomItem = [&] {
        const std::size_t lengths[] = {0, 1, 5, 127, 128, 300, 17000};
        return std::string(lengths[random() % (random() % 50 == 0 ? 7 : 6)],
                           static_cast<char>('a' + random() % 26));
    };
    for (int step = 0; step < 3000; ++step) {
        const unsigned action = random() % 10;
        if (action < 7 || model.empty()) {
            model.push_back(randomItem());
            list.push_back(model.back());
        } else if (action < 9) {
            const std::size_t at = random() % model.size();
            model[at] = randomItem();
            list.set(at, model[at]);
        } else {
            const std::size_t at = random() % model.size();
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
            list.erase(at);
        }
        const std::size_t probe = random() % model.size();
        ASSERT_EQ(list.size(), model.size());
        ASSERT_EQ(list[probe], model[probe]) << "step " << step;
        if (step % 500 == 0) {
            copies.emplace_back(list, model);
            TextList other = copies.back().first;
            other.push_back("the copy's own");
            ASSERT_EQ(copies.back().first, model);
        }
    }
    for (const auto& [copy, itsModel] : copies) {
        EXPECT_EQ(copy, itsModel);
    }
    EXPECT_EQ(list, model);
    EXPECT_EQ(list.toVector(), model);
    EXPECT_EQ(TextList(model), list);
    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.begin(), list.end());
}

TEST(TextList, EmptyItemsCostOneByteEach) {
    TextList list;
    for (int i = 0; i < 64000; ++i) {
        list.push_back("");
    }
    list.push_back("last");
    EXPECT_EQ(list.size(), 64001u);
    EXPECT_EQ(list[64000], "last");
    EXPECT_EQ(list[63999], "");
    EXPECT_EQ((TextList{"a", "", "b"}), (Lines{"a", "", "b"}));
}

// A search's thread reads its copy while the window's list changes and goes: each keeps its own.
TEST(TextList, ACopyReadOnAnotherThreadKeepsItsItems) {
    TextList list;
    for (int i = 0; i < 5000; ++i) {
        list.push_back("page " + std::to_string(i));
    }
    for (int round = 0; round < 20; ++round) {
        std::size_t matching = 0;
        std::thread reader([copy = list, &matching] {
            std::size_t i = 0;
            for (const std::string_view item : copy) {
                matching += item == "page " + std::to_string(i++) ? 1 : 0;
            }
        });
        list.set(0, "changed");
        list.push_back("more");
        list.erase(list.size() - 1);
        list.set(0, "page 0");
        if (round % 2 == 1) {
            list = TextList(list.toVector());
        }
        reader.join();
        EXPECT_EQ(matching, 5000u);
    }
}

}  // namespace
}  // namespace pelmaro::platform
