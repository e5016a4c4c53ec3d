#include "platform/list_control.h"

#include "platform/error.h"

#include <iterator>

namespace pelmaro::platform {

void MemoryList::check(int index) const {
    if (index < 0 || index >= count()) {
        throwListIndexOutOfBounds(index);
    }
}

std::string_view MemoryList::item(int index) const {
    check(index);
    return items_[static_cast<std::size_t>(index)];
}

void MemoryList::setItem(int index, std::string text) {
    check(index);
    items_.set(static_cast<std::size_t>(index), text);
}

void MemoryList::remove(int index) {
    check(index);
    items_.erase(static_cast<std::size_t>(index));
    if (selected_ == index) {
        selected_ = -1;
    } else if (selected_ > index) {
        --selected_;
    }
}

void MemoryList::append(std::vector<std::string> items) {
    for (const std::string& item : items) {
        items_.push_back(item);
    }
}

void MemoryList::clear() {
    items_.clear();
    selected_ = -1;
}

void MemoryList::assign(TextList items) {
    items_ = std::move(items);
    selected_ = -1;
}

void MemoryList::select(int index) {
    check(index);
    selected_ = index;
}

}  // namespace pelmaro::platform
