#include "platform/text_list.h"

namespace pelmaro::platform {
namespace {

void appendLength(std::string& bytes, std::size_t length) {
    while (length >= 0x80) {
        bytes += static_cast<char>(0x80 | (length & 0x7F));
        length >>= 7;
    }
    bytes += static_cast<char>(length);
}

// The length stored at `at`; moves `at` past it.
std::size_t readLength(const std::string& bytes, std::size_t& at) {
    std::size_t length = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes[at++]);
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            return length;
        }
    }
}

}  // namespace

void TextList::const_iterator::decode() {
    if (at_ >= bytes_->size()) {
        item_ = {};
        next_ = at_;
        return;
    }
    std::size_t at = at_;
    const std::size_t length = readLength(*bytes_, at);
    item_ = std::string_view(*bytes_).substr(at, length);
    next_ = at + length;
}

const std::string& TextList::bytes() const {
    static const std::string none;
    return items_ != nullptr ? items_->bytes : none;
}

TextList::Items& TextList::owned() {
    if (items_ == nullptr) {
        items_ = new Items;
    } else if (items_->holders.load(std::memory_order_acquire) != 1) {
        // Shared: the others keep what they have.
        auto* own = new Items;
        own->bytes = items_->bytes;
        own->starts = items_->starts;
        own->count = items_->count;
        release();
        items_ = own;
    }
    return *items_;
}

void TextList::release() {
    if (items_ != nullptr && items_->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete items_;
    }
    items_ = nullptr;
}

TextList::TextList(std::initializer_list<std::string_view> items) {
    for (const std::string_view item : items) {
        push_back(item);
    }
}

TextList::TextList(const std::vector<std::string>& items) {
    std::size_t total = 0;
    for (const std::string& item : items) {
        total += item.size() + 1;
    }
    reserveBytes(total);
    for (const std::string& item : items) {
        push_back(item);
    }
}

std::string_view TextList::operator[](std::size_t index) const {
    const std::string& bytes = items_->bytes;
    std::size_t at = items_->starts[index / kIndexStep];
    for (std::size_t skip = index % kIndexStep; skip > 0; --skip) {
        at += readLength(bytes, at);
    }
    const std::size_t length = readLength(bytes, at);
    return std::string_view(bytes).substr(at, length);
}

void TextList::push_back(std::string_view item) {
    Items& items = owned();
    if (items.count % kIndexStep == 0) {
        items.starts.push_back(items.bytes.size());
    }
    appendLength(items.bytes, item.size());
    items.bytes.append(item);
    ++items.count;
}

void TextList::set(std::size_t index, std::string_view item) {
    rewriteFrom(index, &item);
}

void TextList::erase(std::size_t index) {
    rewriteFrom(index, nullptr);
}

void TextList::rewriteFrom(std::size_t index, const std::string_view* item) {
    Items& items = owned();
    const std::size_t block = index / kIndexStep;
    std::size_t at = items.starts[block];
    for (std::size_t skip = index % kIndexStep; skip > 0; --skip) {
        at += readLength(items.bytes, at);
    }
    TextList rest;
    for (auto it = ++const_iterator(&items.bytes, at); it != end(); ++it) {
        rest.push_back(*it);
    }
    // Cut the list before `index`, then append the new item and the rest again.
    items.bytes.resize(at);
    items.starts.resize(block + (index % kIndexStep != 0 ? 1 : 0));
    items.count = index;
    if (item != nullptr) {
        push_back(*item);
    }
    for (const std::string_view moved : rest) {
        push_back(moved);
    }
}

void TextList::clear() {
    release();
}

std::vector<std::string> TextList::toVector() const {
    std::vector<std::string> out;
    out.reserve(size());
    for (const std::string_view item : *this) {
        out.emplace_back(item);
    }
    return out;
}

bool operator==(const TextList& list, const std::vector<std::string>& items) {
    if (list.size() != items.size()) {
        return false;
    }
    std::size_t i = 0;
    for (const std::string_view item : list) {
        if (item != items[i++]) {
            return false;
        }
    }
    return true;
}

}  // namespace pelmaro::platform
