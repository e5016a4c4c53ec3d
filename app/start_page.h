#pragma once

#include <QWidget>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace pelmaro::app {

// The reader's own page, in the page area when there is no catalogue, and at any time on F1:
// what the reader does, its keys, the catalogues opened last and a button to pick a folder. It
// is a widget of the window, not a web page: no page of a tree can reach it.
class StartPage final : public QWidget {
    Q_OBJECT

public:
    explicit StartPage(QWidget* parent = nullptr);

    struct Recent {
        std::string pathFile;
        bool exists = false;
    };
    void setRecent(const std::vector<Recent>& recent);
    QListWidget& recentList() { return *recent_; }

signals:
    void folderWanted();
    void recentChosen(const std::string& pathFile);
    void recentRemoved(const std::string& pathFile);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseCurrent();
    void removeCurrent();

    QPushButton* pickFolder_ = nullptr;
    QListWidget* recent_ = nullptr;
    QPushButton* remove_ = nullptr;
};

}  // namespace pelmaro::app
