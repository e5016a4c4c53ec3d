#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
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
//
// Copies share the items until one of them changes, which then takes a copy of its own: a
// search's thread takes the catalogue's million paths as they are when it starts, at no cost,
// while the window's list stays free to change. Different copies may be used on different
// threads; one copy is used by one thread at a time.
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
    TextList(const TextList& other) : items_(other.items_) {
        if (items_ != nullptr) {
            items_->holders.fetch_add(1, std::memory_order_relaxed);
        }
    }
    TextList(TextList&& other) noexcept : items_(std::exchange(other.items_, nullptr)) {}
    TextList& operator=(TextList other) noexcept {
        std::swap(items_, other.items_);
        return *this;
    }
    ~TextList() { release(); }
    TextList(std::initializer_list<std::string_view> items);
    // Implicit: a list of strings is a TextList too.
    TextList(const std::vector<std::string>& items);  // NOLINT(google-explicit-constructor)

    std::size_t size() const { return items_ != nullptr ? items_->count : 0; }
    bool empty() const { return size() == 0; }
    // Valid until the list changes.
    std::string_view operator[](std::size_t index) const;
    const_iterator begin() const { return const_iterator(&bytes(), 0); }
    const_iterator end() const { return const_iterator(&bytes(), bytes().size()); }

    void push_back(std::string_view item);
    void set(std::size_t index, std::string_view item);
    void erase(std::size_t index);
    void clear();
    // Room for items of this many bytes in all, when the caller knows it (a file's size).
    void reserveBytes(std::size_t bytes) { owned().bytes.reserve(bytes); }

    std::vector<std::string> toVector() const;

    friend bool operator==(const TextList& a, const TextList& b) {
        return a.size() == b.size() && a.bytes() == b.bytes();
    }
    friend bool operator==(const TextList& list, const std::vector<std::string>& items);

private:
    static constexpr std::size_t kIndexStep = 64;

    struct Items {
        std::string bytes;
        std::vector<std::size_t> starts;  // where items 0, 64, 128... start
        std::size_t count = 0;
        std::atomic<std::size_t> holders{1};  // the lists that share these
    };

    const std::string& bytes() const;
    // The items, this list's own to change.
    Items& owned();
    void release();
    // Replaces item `index` by `item`, or removes it when `item` is null.
    void rewriteFrom(std::size_t index, const std::string_view* item);

    Items* items_ = nullptr;  // none: the list is empty
};

}  // namespace pelmaro::platform
