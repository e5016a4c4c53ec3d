#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace pelmaro::platform {

// An ordered list of byte strings held in one buffer: each item is its length (7 bits a byte)
// followed by its bytes, and where every 64th item starts is kept aside. An item costs its bytes
// plus one or two, whatever its count: a catalogue of a million titles holds no million separate
// strings, and a list file of fifty million empty lines takes about fifty megabytes.
//
// Reading an item walks at most 63 others from the nearest kept start; reading them in order
// walks each once. Changing or removing an item rewrites the rest of the list, which suits the
// lists that change item by item (bookmarks, results): they are small.
class TextList {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::string_view*;
        using reference = std::string_view;

        const_iterator() = default;
        std::string_view operator*() const { return item_; }
        const std::string_view* operator->() const { return &item_; }
        const_iterator& operator++() {
            at_ = next_;
            decode();
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& other) const { return at_ == other.at_; }

    private:
        friend class TextList;
        const_iterator(const std::string* bytes, std::size_t at) : bytes_(bytes), at_(at) {
            decode();
        }
        void decode();

        const std::string* bytes_ = nullptr;
        std::size_t at_ = 0;
        std::size_t next_ = 0;
        std::string_view item_;
    };
    using iterator = const_iterator;
    using value_type = std::string_view;

    TextList() = default;
    TextList(std::initializer_list<std::string_view> items);
    // Implicit: a list of strings is a TextList too.
    TextList(const std::vector<std::string>& items);  // NOLINT(google-explicit-constructor)

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Valid until the list changes.
    std::string_view operator[](std::size_t index) const;
    const_iterator begin() const { return const_iterator(&bytes_, 0); }
    const_iterator end() const { return const_iterator(&bytes_, bytes_.size()); }

    void push_back(std::string_view item);
    void set(std::size_t index, std::string_view item);
    void erase(std::size_t index);
    void clear();
    // Room for items of this many bytes in all, when the caller knows it (a file's size).
    void reserveBytes(std::size_t bytes) { bytes_.reserve(bytes); }

    std::vector<std::string> toVector() const;

    friend bool operator==(const TextList& a, const TextList& b) {
        return a.count_ == b.count_ && a.bytes_ == b.bytes_;
    }
    friend bool operator==(const TextList& list, const std::vector<std::string>& items);

private:
    static constexpr std::size_t kIndexStep = 64;

    // Replaces item `index` by `item`, or removes it when `item` is null.
    void rewriteFrom(std::size_t index, const std::string_view* item);

    std::string bytes_;
    std::vector<std::size_t> starts_;  // where items 0, 64, 128... start
    std::size_t count_ = 0;
};

}  // namespace pelmaro::platform
