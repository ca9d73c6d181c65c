// The operator prompts of the tests: every message box and file dialog is
// recorded and answered from queues instead of shown.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "ui/prompts.h"

// For tests: records every prompt and answers from queues (OK / Yes by default,
// Cancel for a file dialog with no queued answer).
class RecordingPrompts : public IOperatorPrompts {
public:
    void Message(const PromptMessage& message) override;
    bool Question(const PromptMessage& message) override;
    std::optional<std::string> AskFile(const FileDialogRequest& request) override;

    std::vector<PromptMessage> messages;          // Message and Question, in order
    std::vector<FileDialogRequest> fileRequests;
    std::vector<bool> questionAnswers;            // consumed front first
    std::vector<std::optional<std::string>> fileAnswers;
};
