#include "platform/list_control.h"

#include "platform/error.h"

#include <iterator>

namespace pelmaro::platform {

void MemoryList::check(int index) const {
    if (index < 0 || index >= count()) {
        throwListIndexOutOfBounds(index);
    }
}

const std::string& MemoryList::item(int index) const {
    check(index);
    return items_[static_cast<std::size_t>(index)];
}

void MemoryList::setItem(int index, std::string text) {
    check(index);
    items_[static_cast<std::size_t>(index)] = std::move(text);
}

void MemoryList::remove(int index) {
    check(index);
    items_.erase(items_.begin() + index);
    if (selected_ == index) {
        selected_ = -1;
    } else if (selected_ > index) {
        --selected_;
    }
}

void MemoryList::append(std::vector<std::string> items) {
    if (items_.empty()) {
        items_ = std::move(items);
        return;
    }
    items_.insert(items_.end(), std::make_move_iterator(items.begin()),
                  std::make_move_iterator(items.end()));
}

void MemoryList::clear() {
    items_.clear();
    selected_ = -1;
}

void MemoryList::assign(std::vector<std::string> items) {
    items_ = std::move(items);
    selected_ = -1;
}

void MemoryList::select(int index) {
    check(index);
    selected_ = index;
}

}  // namespace pelmaro::platform
