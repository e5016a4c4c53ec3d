#include "app/contents_panel.h"

#include <QKeyEvent>
#include <QMenu>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/qt_text.h"

namespace pelmaro::app {

namespace {

// Row ids of headings lie above every node of a tree (at most 2^32 of them).
constexpr quintptr kFirstHeading = quintptr(1) << 40;

}  // namespace

ContentsModel::ContentsModel(Paths paths, TitleOf titleOf, QObject* parent)
    : QAbstractItemModel(parent), paths_(std::move(paths)), titleOf_(std::move(titleOf)) {}

ContentsModel::~ContentsModel() = default;

void ContentsModel::catalogueChanged() {
    beginResetModel();
    tree_.reset();
    rowOf_.clear();
    headingsEntry_ = -1;
    headings_.clear();
    endResetModel();
}

void ContentsModel::make() {
    if (tree_) {
        return;
    }
    beginResetModel();
    tree_ = std::make_unique<ContentsTree>(paths_());
    rowOf_.assign(static_cast<std::size_t>(tree_->root()) + 1, 0);
    endResetModel();
}

const std::vector<ContentsModel::Node>& ContentsModel::childrenOf(Node folder) const {
    const std::vector<Node>& children = tree_->children(
        folder,
        [this](std::uint32_t entry) -> std::string { return titleOf_(static_cast<int>(entry)); });
    for (std::size_t row = 0; row < children.size(); ++row) {
        const Node child = children[row];
        if (child >= rowOf_.size()) {
            rowOf_.resize(static_cast<std::size_t>(child) + 1, 0);
        }
        rowOf_[child] = static_cast<std::uint32_t>(row);
    }
    return children;
}

QModelIndex ContentsModel::indexOfNode(Node node) const {
    if (!tree_ || node == tree_->root()) {
        return {};
    }
    return createIndex(static_cast<int>(rowOf_[node]), 0, static_cast<quintptr>(node));
}

QModelIndex ContentsModel::indexOfEntry(int entry) {
    if (!tree_ || entry < 0 || static_cast<Node>(entry) >= tree_->root()) {
        return {};
    }
    // The folders from the root down to the page, each ordered so that its rows are known.
    std::vector<Node> folders;
    for (Node folder = tree_->parent(static_cast<Node>(entry));; folder = tree_->parent(folder)) {
        folders.push_back(folder);
        if (folder == tree_->root()) {
            break;
        }
    }
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
        childrenOf(*folder);
    }
    return indexOfNode(static_cast<Node>(entry));
}

void ContentsModel::setHeadings(int entry, const QStringList& headings) {
    if (!tree_) {
        return;
    }
    if (headingsEntry_ >= 0 && !headings_.isEmpty()) {
        const QModelIndex old = indexOfEntry(headingsEntry_);
        beginRemoveRows(old, 0, static_cast<int>(headings_.size()) - 1);
        headings_.clear();
        endRemoveRows();
    }
    headingsEntry_ = entry;
    if (!headings.isEmpty()) {
        const QModelIndex page = indexOfEntry(entry);
        if (page.isValid()) {
            beginInsertRows(page, 0, static_cast<int>(headings.size()) - 1);
            headings_ = headings;
            endInsertRows();
        }
    }
}

std::optional<int> ContentsModel::entryOf(const QModelIndex& index) const {
    if (!tree_ || !index.isValid() || index.internalId() >= kFirstHeading ||
        tree_->isFolder(static_cast<Node>(index.internalId()))) {
        return std::nullopt;
    }
    return static_cast<int>(index.internalId());
}

std::optional<std::string> ContentsModel::folderOf(const QModelIndex& index) const {
    if (!tree_ || !index.isValid() || index.internalId() >= kFirstHeading ||
        !tree_->isFolder(static_cast<Node>(index.internalId()))) {
        return std::nullopt;
    }
    return tree_->folderPath(static_cast<Node>(index.internalId()));
}

std::optional<int> ContentsModel::headingOf(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() < kFirstHeading) {
        return std::nullopt;
    }
    return static_cast<int>(index.internalId() - kFirstHeading);
}

QModelIndex ContentsModel::index(int row, int column, const QModelIndex& parent) const {
    if (!tree_ || column != 0 || row < 0) {
        return {};
    }
    if (const std::optional<int> entry = entryOf(parent)) {
        return *entry == headingsEntry_ && row < headings_.size()
                   ? createIndex(row, 0, kFirstHeading + static_cast<quintptr>(row))
                   : QModelIndex();
    }
    if (headingOf(parent)) {
        return {};
    }
    const Node folder = parent.isValid() ? static_cast<Node>(parent.internalId()) : tree_->root();
    const std::vector<Node>& children = childrenOf(folder);
    if (static_cast<std::size_t>(row) >= children.size()) {
        return {};
    }
    return createIndex(row, 0, static_cast<quintptr>(children[static_cast<std::size_t>(row)]));
}

QModelIndex ContentsModel::parent(const QModelIndex& index) const {
    if (!tree_ || !index.isValid()) {
        return {};
    }
    if (headingOf(index)) {
        return indexOfNode(static_cast<Node>(headingsEntry_));
    }
    return indexOfNode(tree_->parent(static_cast<Node>(index.internalId())));
}

int ContentsModel::rowCount(const QModelIndex& parent) const {
    if (!tree_ || headingOf(parent)) {
        return 0;
    }
    if (const std::optional<int> entry = entryOf(parent)) {
        return *entry == headingsEntry_ ? static_cast<int>(headings_.size()) : 0;
    }
    const Node folder = parent.isValid() ? static_cast<Node>(parent.internalId()) : tree_->root();
    return static_cast<int>(childrenOf(folder).size());
}

int ContentsModel::columnCount(const QModelIndex& /*parent*/) const {
    return 1;
}

bool ContentsModel::hasChildren(const QModelIndex& parent) const {
    if (!tree_ || headingOf(parent)) {
        return false;
    }
    if (const std::optional<int> entry = entryOf(parent)) {
        return *entry == headingsEntry_ && !headings_.isEmpty();
    }
    return true;  // a folder holds at least one page, or it would not be in the tree
}

QVariant ContentsModel::data(const QModelIndex& index, int role) const {
    if (!tree_ || !index.isValid() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole)) {
        return {};
    }
    if (const std::optional<int> heading = headingOf(index)) {
        return *heading < headings_.size() ? withBidiMarks(headings_[*heading]) : QVariant();
    }
    const auto node = static_cast<Node>(index.internalId());
    if (tree_->isFolder(node)) {
        return shownText(tree_->folderName(node));
    }
    return shownText(titleOf_(static_cast<int>(node)));
}

ContentsPanel::ContentsPanel(ContentsModel::Paths paths, ContentsModel::TitleOf titleOf,
                             QWidget* parent)
    : QWidget(parent), model_(new ContentsModel(std::move(paths), std::move(titleOf), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new QTreeView;
    view_->setObjectName(QStringLiteral("contentsTree"));
    view_->setHeaderHidden(true);
    view_->setUniformRowHeights(true);
    view_->setModel(model_);
    layout->addWidget(view_);
    setFocusProxy(view_);
    connect(view_, &QTreeView::activated, this, &ContentsPanel::choose);
    connect(view_, &QTreeView::clicked, this, &ContentsPanel::choose);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QTreeView::customContextMenuRequested, this, &ContentsPanel::showMenu);
}

void ContentsPanel::showMenu(const QPoint& at) {
    QMenu menu;
    const std::optional<std::string> folder = model_->folderOf(view_->indexAt(at));
    if (folder) {
        menu.addAction(QStringLiteral("Leave this folder out"), this,
                       [this, name = *folder] { emit leaveOutWanted(name); });
    }
    menu.addAction(QStringLiteral("Bring back what was left out"), this,
                   [this] { emit bringBackWanted(); });
    menu.exec(view_->viewport()->mapToGlobal(at));
}

void ContentsPanel::follow(int entry) {
    const QModelIndex page = model_->indexOfEntry(entry);
    if (!page.isValid()) {
        return;
    }
    for (QModelIndex folder = page.parent(); folder.isValid(); folder = folder.parent()) {
        view_->expand(folder);
    }
    view_->setCurrentIndex(page);
    view_->scrollTo(page);
}

void ContentsPanel::choose(const QModelIndex& index) {
    if (const std::optional<int> entry = model_->entryOf(index)) {
        emit entryChosen(*entry);
    } else if (const std::optional<int> heading = model_->headingOf(index)) {
        emit headingChosen(*heading);
    }
}

}  // namespace pelmaro::app
