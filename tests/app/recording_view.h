#pragma once
// A MainView that keeps what the logic wrote, answers the file dialog and questions from a
// script, and records every message box.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/main_view.h"

namespace apptest {

class RecordingView : public app::MainView {
public:
    std::vector<std::string> senderItems;
    int senderIndex = -1;
    std::string senderTyped;  // text typed by the "user"; wins while senderIndex is -1
    std::vector<std::string> recipientItems;
    int recipientIndex = -1;
    std::string fileText, directoryText, subject, status;
    bool directoryFixed = false;
    std::vector<std::string> header, detail, footer;
    int progress = 0;
    bool enabled = true;
    std::vector<std::string> messages;
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<std::string>> openAnswers;

    // Typing into the sender selector.
    void TypeSender(const std::string& text) {
        senderIndex = -1;
        senderTyped = text;
    }

    void SetSenderItems(const std::vector<std::string>& items) override {
        senderItems = items;
        senderIndex = -1;
        senderTyped.clear();
    }
    void SetSenderIndex(int index) override { senderIndex = index; }
    std::string SenderText() const override {
        if (senderIndex >= 0 && senderIndex < static_cast<int>(senderItems.size()))
            return senderItems[senderIndex];
        return senderTyped;
    }
    void SetRecipientItems(const std::vector<std::string>& items) override {
        recipientItems = items;
        recipientIndex = -1;
    }
    void SetRecipientIndex(int index) override { recipientIndex = index; }
    int RecipientIndex() const override { return recipientIndex; }
    void SetFileText(const std::string& text) override { fileText = text; }
    std::string FileText() const override { return fileText; }
    void SetDirectoryText(const std::string& text) override { directoryText = text; }
    std::string DirectoryText() const override { return directoryText; }
    void SetDirectoryFixed(bool fixed) override { directoryFixed = fixed; }
    void SetSubject(const std::string& text) override { subject = text; }
    std::string Subject() const override { return subject; }
    void SetHeaderLines(const std::vector<std::string>& lines) override { header = lines; }
    std::vector<std::string> HeaderLines() const override { return header; }
    void SetDetailLines(const std::vector<std::string>& lines) override { detail = lines; }
    std::vector<std::string> DetailLines() const override { return detail; }
    void SetFooterLines(const std::vector<std::string>& lines) override { footer = lines; }
    std::vector<std::string> FooterLines() const override { return footer; }
    void SetStatus(const std::string& text) override { status = text; }
    std::string Status() const override { return status; }
    void SetProgress(int position) override { progress = position; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        messages.push_back(text);
        if (yesNoAnswers.empty()) return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    std::optional<std::string> AskOpenFileName() override {
        if (openAnswers.empty()) return std::nullopt;
        auto answer = openAnswers.front();
        openAnswers.pop_front();
        return answer;
    }
    void SetScreenEnabled(bool on) override { enabled = on; }
};

}  // namespace apptest
