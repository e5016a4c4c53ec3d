#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text_list.h"

namespace pelmaro::platform {

// One of the window's list controls: an ordered list of byte strings with at most one selected
// item. The controls themselves hold the catalogue, the bookmarks and the search results; the
// logic reads and changes them only through this interface.
//
// Every operation that takes an index fails with "List index out of bounds (%d)" when the index
// is outside 0..count()-1. A selection made through this interface never runs the window's
// selection handler.
class ListControl {
public:
    virtual ~ListControl() = default;

    virtual int count() const = 0;
    // Valid until the next change.
    virtual std::string_view item(int index) const = 0;
    // All items at once, for bulk readers (searches, saving); valid until the next change.
    virtual const TextList& items() const = 0;

    // The selection stays at the same position.
    virtual void setItem(int index, std::string text) = 0;
    virtual void add(std::string text) = 0;
    // Adds many items at the end in one step (a batch of search results).
    virtual void append(std::vector<std::string> items) = 0;
    virtual void remove(int index) = 0;
    virtual void clear() = 0;
    // Replaces the whole content in one step and leaves no item selected (loading a file,
    // applying an ordering).
    virtual void assign(TextList items) = 0;

    // -1 when nothing is selected.
    virtual int selectedIndex() const = 0;
    virtual void select(int index) = 0;
    virtual void clearSelection() = 0;

    // The overlay lists are shown and hidden; the title list is always shown, the path list never.
    virtual bool isVisible() const = 0;
    virtual void setVisible(bool visible) = 0;
};

// A list control that lives only in memory: the command-line tool's catalogue, and the tests'.
class MemoryList final : public ListControl {
public:
    MemoryList() = default;
    explicit MemoryList(TextList items) : items_(std::move(items)) {}

    int count() const override { return static_cast<int>(items_.size()); }
    std::string_view item(int index) const override;
    const TextList& items() const override { return items_; }
    void setItem(int index, std::string text) override;
    void add(std::string text) override { items_.push_back(std::move(text)); }
    void append(std::vector<std::string> items) override;
    void remove(int index) override;
    void clear() override;
    void assign(TextList items) override;
    int selectedIndex() const override { return selected_; }
    void select(int index) override;
    void clearSelection() override { selected_ = -1; }
    bool isVisible() const override { return visible_; }
    void setVisible(bool visible) override { visible_ = visible; }

private:
    void check(int index) const;

    TextList items_;
    int selected_ = -1;
    bool visible_ = false;
};

}  // namespace pelmaro::platform
