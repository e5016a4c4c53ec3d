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
    bytes_.reserve(total);
    for (const std::string& item : items) {
        push_back(item);
    }
}

std::string_view TextList::operator[](std::size_t index) const {
    std::size_t at = starts_[index / kIndexStep];
    for (std::size_t skip = index % kIndexStep; skip > 0; --skip) {
        at += readLength(bytes_, at);
    }
    const std::size_t length = readLength(bytes_, at);
    return std::string_view(bytes_).substr(at, length);
}

void TextList::push_back(std::string_view item) {
    if (count_ % kIndexStep == 0) {
        starts_.push_back(bytes_.size());
    }
    appendLength(bytes_, item.size());
    bytes_.append(item);
    ++count_;
}

void TextList::set(std::size_t index, std::string_view item) {
    rewriteFrom(index, &item);
}

void TextList::erase(std::size_t index) {
    rewriteFrom(index, nullptr);
}

void TextList::rewriteFrom(std::size_t index, const std::string_view* item) {
    const std::size_t block = index / kIndexStep;
    std::size_t at = starts_[block];
    for (std::size_t skip = index % kIndexStep; skip > 0; --skip) {
        at += readLength(bytes_, at);
    }
    TextList rest;
    for (auto it = ++const_iterator(&bytes_, at); it != end(); ++it) {
        rest.push_back(*it);
    }
    // Cut the list before `index`, then append the new item and the rest again.
    bytes_.resize(at);
    starts_.resize(block + (index % kIndexStep != 0 ? 1 : 0));
    count_ = index;
    if (item != nullptr) {
        push_back(*item);
    }
    for (const std::string_view moved : rest) {
        push_back(moved);
    }
}

void TextList::clear() {
    bytes_.clear();
    starts_.clear();
    count_ = 0;
}

std::vector<std::string> TextList::toVector() const {
    std::vector<std::string> out;
    out.reserve(count_);
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
