#include "platform/list_control.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace pelmaro::platform {
namespace {

TEST(MemoryList, IndexOutsideTheListFailsWithTheIndexInTheMessage) {
    MemoryList list({"a", "b"});
    for (const int bad : {-1, 2, 100}) {
        const std::string expected = "List index out of bounds (" + std::to_string(bad) + ")";
        EXPECT_THROW(list.item(bad), Error);
        try {
            list.select(bad);
            ADD_FAILURE() << "select(" << bad << ") did not fail";
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), expected);
        }
        EXPECT_THROW(list.setItem(bad, "x"), Error);
        EXPECT_THROW(list.remove(bad), Error);
    }
    EXPECT_EQ(list.count(), 2);
}

TEST(MemoryList, SelectionFollowsRemovalsAndIsClearedByAssign) {
    MemoryList list({"a", "b", "c"});
    list.select(2);
    list.remove(0);
    EXPECT_EQ(list.selectedIndex(), 1);
    list.setItem(1, "z");
    EXPECT_EQ(list.selectedIndex(), 1);
    list.remove(1);
    EXPECT_EQ(list.selectedIndex(), -1);
    list.select(0);
    list.assign({"x", "y"});
    EXPECT_EQ(list.selectedIndex(), -1);
    EXPECT_EQ(list.item(1), "y");
}

}  // namespace
}  // namespace pelmaro::platform
