#include "tests/gui/recording_prompts.h"

void RecordingPrompts::Message(const PromptMessage& message) { messages.push_back(message); }

bool RecordingPrompts::Question(const PromptMessage& message) {
    messages.push_back(message);
    if (questionAnswers.empty()) return true;
    bool answer = questionAnswers.front();
    questionAnswers.erase(questionAnswers.begin());
    return answer;
}

std::optional<std::string> RecordingPrompts::AskFile(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return std::nullopt;
    std::optional<std::string> answer = fileAnswers.front();
    fileAnswers.erase(fileAnswers.begin());
    return answer;
}
