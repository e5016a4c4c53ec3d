#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QWebEngineFindTextResult;
class QWebEngineView;

namespace pelmaro::app {

// The find bar under the page: finds its text in the page as it is typed, says which match is the
// current one ("3 of 17", or "not found"), steps through the matches with Enter and Shift+Enter,
// and closes with Esc, which hands the keyboard back to the page.
class FindBar final : public QWidget {
    Q_OBJECT

public:
    explicit FindBar(QWebEngineView& view, QWidget* parent = nullptr);

    // Shows the bar with its text selected and the keyboard in it.
    void open();
    // Shows the bar with `text` and finds it; the keyboard stays where it is.
    void find(const QString& text);
    // The page now shows another document: the matches shown become those in it.
    void findAgain();
    // Hides the bar and the highlighted matches.
    void closeBar();
    // The view shows another page object (a fresh one for one that hung): its answers count now.
    void attachPage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void search(bool backward);
    void showResult(const QWebEngineFindTextResult& result);

    QWebEngineView& view_;
    QLineEdit* text_ = nullptr;
    QLabel* count_ = nullptr;
};

}  // namespace pelmaro::app
