#pragma once
// A desktop for tests: records every message box, input box, save dialog, beep and shell open,
// answers them from scripted replies, and fixes "today".

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Desktop.h"

struct RecordedBox {
    std::string Text;
    std::string Title;
    MsgIcon Icon;
    MsgButtons Buttons;
};

class RecordingDesktop : public Desktop {
public:
    RecordingDesktop() { InstallDesktop(this); }
    ~RecordingDesktop() override { InstallDesktop(nullptr); }

    MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                         MsgButtons buttons) override {
        Boxes.push_back({text, title, icon, buttons});
        if (OnMessageBox) {
            OnMessageBox(Boxes.back());
        }
        if (buttons == MsgButtons::YesNo) {
            MsgAnswer a = MsgAnswer::No;
            if (!Answers.empty()) {
                a = Answers.front();
                Answers.pop_front();
            }
            return a;
        }
        return MsgAnswer::Ok;
    }
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& defaultText) override {
        Inputs.push_back(caption + "|" + prompt);
        if (InputReplies.empty()) {
            return defaultText;
        }
        std::string reply = InputReplies.front();
        InputReplies.pop_front();
        return reply;
    }
    std::optional<std::string> SaveFileName(QWidget*, SaveDialogOptions& options) override {
        SaveOptions.push_back(options);
        if (!SaveTypeReplies.empty()) {
            options.FilterIndex = SaveTypeReplies.front();
            SaveTypeReplies.pop_front();
        }
        if (SaveReplies.empty()) {
            return std::nullopt;
        }
        auto reply = SaveReplies.front();
        SaveReplies.pop_front();
        return reply;
    }
    void Beep() override { ++Beeps; }
    bool OpenUrl(const std::string& url) override {
        OpenedUrls.push_back(url);
        return OpenSucceeds;
    }
    std::chrono::year_month_day Today() override { return FixedToday; }

    // Titles and texts of the boxes shown so far, for compact assertions.
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& b : Boxes) {
            out.push_back(b.Text);
        }
        return out;
    }
    const RecordedBox& Last() const { return Boxes.back(); }

    std::vector<RecordedBox> Boxes;
    std::deque<MsgAnswer> Answers; // for Yes/No boxes; No when empty
    // Called while a box is "open", i.e. inside the handler that showed it.
    std::function<void(const RecordedBox&)> OnMessageBox;
    std::vector<std::string> Inputs;
    std::deque<std::string> InputReplies;
    std::vector<SaveDialogOptions> SaveOptions;
    std::deque<std::optional<std::string>> SaveReplies;
    // The types the user picks in the save dialogs (from 1); the one offered when empty.
    std::deque<int> SaveTypeReplies;
    int Beeps = 0;
    std::vector<std::string> OpenedUrls;
    bool OpenSucceeds = true;
    std::chrono::year_month_day FixedToday{std::chrono::year{2026}, std::chrono::May,
                                           std::chrono::day{15}};
};
