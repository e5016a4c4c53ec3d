#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
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
    void setCaption(const std::string& caption) override { captions.push_back(caption); }

    std::string caption() const { return captions.empty() ? std::string() : captions.back(); }

    std::vector<std::string> captions;
};

// The window's thread, played by the test's own thread: posted tasks wait in a queue until the
// test runs them, as the window's event loop would.
class FakeUiThread final : public platform::UiThread {
public:
    void post(std::function<void()> task) override {
        {
            const std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_all();
    }

    // Runs posted tasks, waiting for more, until `done` is true; false when that took longer
    // than `limit` (the test then fails instead of hanging).
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            std::unique_lock lock(mutex_);
            if (!posted_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) {
                return false;
            }
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            ++ran;
        }
        return true;
    }
    // Runs the tasks posted so far.
    void runPosted() {
        for (;;) {
            std::unique_lock lock(mutex_);
            if (tasks_.empty()) {
                return;
            }
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            ++ran;
        }
    }

    int ran = 0;

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

// Records the pages it is told to show, and the text to find in them ("" for none).
class FakePageView final : public platform::PageView {
public:
    void navigate(const std::string& fileName) override {
        shown.push_back(fileName);
        found.emplace_back();
    }
    void navigateAndFind(const std::string& fileName, const std::string& text) override {
        shown.push_back(fileName);
        found.push_back(text);
    }
    void setCatalogueFolder(const std::string& folder) override { folders.push_back(folder); }
    std::vector<std::string> shown;
    std::vector<std::string> found;
    std::vector<std::string> folders;
};

// Every dialog takes the next answer of its own queue; a dialog with no answer left fails the
// test by throwing, so an unexpected question never goes unnoticed.
class ScriptedDialogs final : public platform::Dialogs {
public:
    void showError(const std::string& message) override { errors.push_back(message); }
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
    std::string pickFolder(const std::string& instruction,
                           const std::string& startFolder) override {
        folderPrompts.push_back(instruction);
        startFolders.push_back(startFolder);
        return next(folderAnswers, "pickFolder");
    }
    std::optional<std::string> openFile(const std::string& title,
                                        const std::vector<platform::FileFilter>& filters,
                                        const std::string& startFolder,
                                        const std::vector<std::string>& places) override {
        openTitles.push_back(title);
        openPlaces = places;
        openFilters = filters;
        startFolders.push_back(startFolder);
        return next(openAnswers, "openFile");
    }
    std::optional<std::string> saveFile(const std::string& title,
                                        const std::vector<platform::FileFilter>& filters,
                                        const std::string& suggestedName) override {
        saveTitles.push_back(title);
        saveFilters = filters;
        suggestedNames.push_back(suggestedName);
        return next(saveAnswers, "saveFile");
    }

    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<std::string>> inputAnswers;
    std::deque<std::string> folderAnswers;
    std::deque<std::optional<std::string>> openAnswers;
    std::deque<std::optional<std::string>> saveAnswers;

    std::vector<std::string> errors;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> inputs;
    std::vector<std::string> folderPrompts;
    std::vector<std::string> openTitles;
    std::vector<std::string> openPlaces;
    std::vector<platform::FileFilter> openFilters;
    std::vector<std::string> saveTitles;
    std::vector<platform::FileFilter> saveFilters;
    std::vector<std::string> suggestedNames;
    std::vector<std::string> startFolders;

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
