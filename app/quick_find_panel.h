#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "search/quick_find.h"

class QLabel;
class QLineEdit;
class QListWidget;

namespace pelmaro::app {

// Quick find: a one-line filter over the title list's area. Each keystroke lists the matching
// titles ranked (whole title, prefix, word start, anywhere, letters in order); Up and Down move,
// Enter picks the entry, Esc closes and leaves everything as it was.
class QuickFindPanel final : public QWidget {
    Q_OBJECT

public:
    // Answers a query; nullopt while the titles are still being indexed.
    using Finder = std::function<std::optional<QuickFindResult>(std::string_view query)>;
    // The title of an entry as shown (UTF-8).
    using TitleOf = std::function<const std::string&(int entry)>;

    QuickFindPanel(Finder finder, TitleOf titleOf, QWidget* parent = nullptr);

    // Opens with `text` typed (empty: just opens), the filter focused.
    void open(const QString& text);
    // Asks again for what is typed: the titles changed or their index is ready.
    void refresh();

signals:
    void entryChosen(int entry);
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void find();
    void choose();
    void close();
    void move(int step);

    Finder finder_;
    TitleOf titleOf_;
    QLineEdit* filter_ = nullptr;
    QListWidget* matches_ = nullptr;
    QLabel* summary_ = nullptr;
};

}  // namespace pelmaro::app
