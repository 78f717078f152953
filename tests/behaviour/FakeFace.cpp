#include "FakeFace.h"

#include <utility>

namespace kelvane::testing {

void FakeFace::finishBackgroundWork() {
    runBackgroundWork();
    runUiTasks();
}

void FakeFace::runBackgroundWork() {
    while (!background_.empty()) {
        auto work = std::move(background_.front());
        background_.pop_front();
        work();
    }
}

void FakeFace::runUiTasks(std::size_t count) {
    for (; count > 0 && !uiTasks_.empty(); --count) {
        auto task = std::move(uiTasks_.front());
        uiTasks_.pop_front();
        task();
    }
}

void FakeFace::showStatus(const std::string& text, behaviour::StatusLook look,
                          const std::string& detail) {
    status = Status{text, look, detail};
    statusHistory.push_back(status);
}

void FakeFace::openHelp(bool ownedByWindow) {
    if (!helpOpen) {
        ++helpOpenings;
        helpOwnedByWindow = ownedByWindow;
    }
    helpOpen = true;
}

void FakeFace::boxOpened() {
    if (duringNextBox) {
        auto during = std::exchange(duringNextBox, nullptr);
        during();
    }
}

void FakeFace::showMessage(behaviour::BoxKind kind, const std::string& text) {
    boxes.push_back(Box{kind, text});
    boxOpened();
}

bool FakeFace::askYesNo(const std::string& text) {
    questions.push_back(text);
    boxOpened();
    if (boxesDismissed || yesNoAnswers.empty()) {
        return false;
    }
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

std::optional<std::string> FakeFace::chooseFile(const std::string&, const std::string& folder) {
    fileDialogFolders.push_back(folder);
    boxOpened();
    if (boxesDismissed || fileAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

void FakeFace::runInBackground(std::function<void()> work) {
    background_.push_back(std::move(work));
}

void FakeFace::runOnUiThread(std::function<void()> task) {
    uiTasks_.push_back(std::move(task));
}

}  // namespace kelvane::testing
