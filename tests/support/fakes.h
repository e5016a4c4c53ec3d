#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/window.h"

// Scripted stand-ins for the window's services: they answer from a script and record what they
// were asked, so the commands can be tested without a window.
namespace pelmaro::test {

class FakeWindow final : public platform::Window {
public:
    void setStatus(const std::string& caption) override { captions.push_back(caption); }
    void processPendingMessages() override {
        ++pumps;
        if (onPump) {
            onPump();
        }
    }
    bool closeRequested() const override { return closing; }

    std::string caption() const { return captions.empty() ? std::string() : captions.back(); }

    std::vector<std::string> captions;
    int pumps = 0;
    // Runs inside processPendingMessages(): what the user does while a long command runs.
    std::function<void()> onPump;
    bool closing = false;
};

// Every dialog takes the next answer of its own queue; a dialog with no answer left fails the
// test by throwing, so an unexpected question never goes unnoticed.
class ScriptedDialogs final : public platform::Dialogs {
public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string& caption, const std::string& text) override {
        questions.push_back(caption + ": " + text);
        return next(yesNoAnswers, "askYesNo");
    }
    std::string inputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override {
        inputs.push_back(caption + ": " + prompt);
        auto answer = next(inputAnswers, "inputBox");
        return answer ? *answer : preset;  // nullopt is Cancel
    }
    std::string pickFolder(const std::string& instruction) override {
        folderPrompts.push_back(instruction);
        return next(folderAnswers, "pickFolder");
    }
    std::optional<std::string> openFile(const std::string& title,
                                        const std::vector<platform::FileFilter>& filters) override {
        openTitles.push_back(title);
        openFilters = filters;
        return next(openAnswers, "openFile");
    }

    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<std::string>> inputAnswers;
    std::deque<std::string> folderAnswers;
    std::deque<std::optional<std::string>> openAnswers;

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> inputs;
    std::vector<std::string> folderPrompts;
    std::vector<std::string> openTitles;
    std::vector<platform::FileFilter> openFilters;

private:
    template <typename T>
    static T next(std::deque<T>& queue, const char* what) {
        if (queue.empty()) {
            throw std::logic_error(std::string("unscripted dialog: ") + what);
        }
        T answer = std::move(queue.front());
        queue.pop_front();
        return answer;
    }
};

class FakeMenuItem final : public platform::MenuItem {
public:
    explicit FakeMenuItem(std::string label) : label_(std::move(label)) {}
    std::string label() const override { return label_; }
    void setLabel(const std::string& label) override { label_ = label; }

private:
    std::string label_;
};

}  // namespace pelmaro::test
