#include "catalogue/natural_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pelmaro {
namespace {

TEST(NaturalOrder, NumbersAsNumbersLettersWithoutCaseOrAccents) {
    // Each list is in natural order.
    const std::vector<std::vector<std::string>> orders = {
        {"1. Intro", "2. Tutorial", "10. Reference", "10.1. Types", "10.2. Values", "10.10. Files"},
        {"chapter2", "chapter02", "chapter10"},  // equal numbers: fewer leading zeros first
        {"Apple", "banana", "Cherry"},
        {"e", "E", "\xc3\xa9", "\xc3\x89", "\xc3\xaa", "f"},       // e E é É ê f
        {"Ete", "\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89", "Tom"},  // Ete été ÉTÉ Tom
        {"\xce\xb1\xce\xb2", "\xce\x91\xce\x92", "\xce\xb3"},      // αβ ΑΒ γ
        {"9 lives", "a", "z"},
        {"abc", "abcd"},
        {"x\xff",
         "x\xff"
         "a"},  // bytes that aren't UTF-8 still order
        {"", "0", "00", "1"},
    };
    for (const std::vector<std::string>& order : orders) {
        for (std::size_t i = 0; i < order.size(); ++i) {
            EXPECT_EQ(compareNaturally(order[i], order[i]), 0) << order[i];
            for (std::size_t j = i + 1; j < order.size(); ++j) {
                EXPECT_LT(compareNaturally(order[i], order[j]), 0)
                    << "\"" << order[i] << "\" before \"" << order[j] << "\"";
                EXPECT_GT(compareNaturally(order[j], order[i]), 0)
                    << "\"" << order[j] << "\" after \"" << order[i] << "\"";
            }
        }
    }
}

TEST(NaturalOrder, IsATotalOrderForSorting) {
    std::vector<std::string> titles = {"b10", "B2", "b2", "a", "A", "\xc3\xa1", "b02", "b1"};
    std::sort(titles.begin(), titles.end(), naturallyBefore);
    // Ties go by the first difference: "b02" differs from "B2" first by case.
    EXPECT_EQ(titles,
              (std::vector<std::string>{"a", "A", "\xc3\xa1", "b1", "b2", "b02", "B2", "b10"}));
}

}  // namespace
}  // namespace pelmaro
