#pragma once

#include <QAbstractItemModel>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/contents_tree.h"

class QTreeView;

namespace pelmaro::app {

// The catalogue as its folders hold it (catalogue/contents_tree.h), for a tree view: folders by
// name, pages by their shown titles, and under the page being read its headings. The tree is
// made when it is first shown after the catalogue changed, and a folder's children are put in
// order when the view first asks for them.
class ContentsModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    using TitleOf = std::function<const std::string&(int entry)>;
    using Paths = std::function<const platform::TextList&()>;
    ContentsModel(Paths paths, TitleOf titleOf, QObject* parent = nullptr);
    ~ContentsModel() override;

    // The catalogue's paths changed: the tree is made again when it is next wanted.
    void catalogueChanged();
    bool isMade() const { return tree_ != nullptr; }
    void make();

    // The row of an entry's page, its folders ordered on the way; invalid before make().
    QModelIndex indexOfEntry(int entry);
    // The headings of the page of `entry` (h1 to h3, in page order); shown under it.
    void setHeadings(int entry, const QStringList& headings);

    // What a row is: a page (its entry), a heading (its number on the page), or a folder.
    std::optional<int> entryOf(const QModelIndex& index) const;
    std::optional<int> headingOf(const QModelIndex& index) const;
    // A folder row's full name.
    std::optional<std::string> folderOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    using Node = ContentsTree::Node;
    const std::vector<Node>& childrenOf(Node folder) const;
    QModelIndex indexOfNode(Node node) const;

    Paths paths_;
    TitleOf titleOf_;
    // Mutable: ordering a folder when the view first asks for its rows changes no row it knows.
    mutable std::unique_ptr<ContentsTree> tree_;
    mutable std::vector<std::uint32_t> rowOf_;  // by node, once its folder is ordered
    int headingsEntry_ = -1;
    QStringList headings_;
};

// The Contents view in the title list's place: a click or Enter on a page shows it, on a
// heading scrolls the page there.
class ContentsPanel final : public QWidget {
    Q_OBJECT

public:
    ContentsPanel(ContentsModel::Paths paths, ContentsModel::TitleOf titleOf,
                  QWidget* parent = nullptr);

    ContentsModel& model() { return *model_; }
    QTreeView& view() { return *view_; }
    // Selects the entry's page, opening the folders above it; nothing before the tree is made.
    void follow(int entry);

signals:
    void entryChosen(int entry);
    void headingChosen(int heading);
    // From the tree's menu: "Leave this folder out", "Bring back what was left out".
    void leaveOutWanted(const std::string& folderName);
    void bringBackWanted();

private:
    void choose(const QModelIndex& index);
    void showMenu(const QPoint& at);

    ContentsModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
};

}  // namespace pelmaro::app
