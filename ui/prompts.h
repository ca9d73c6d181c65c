// Operator prompts: every message box and file dialog of the desktop program
// goes through one interface, so tests can answer them and record exactly what
// the operator was shown.
#pragma once
#include <optional>
#include <string>

enum class PromptIcon { Warning, Information, Question };

struct PromptMessage {
    std::string text;
    std::string caption;
    PromptIcon icon = PromptIcon::Warning;
};

// A file-open or file-save dialog. `filter` is written in the program's own
// form: "Config files (*.cfg)|*.cfg|All files (*.*)|*.*||".
struct FileDialogRequest {
    bool save = false;
    std::string title;             // empty: the system's default title
    std::string filter;
    std::string defaultExtension;  // without the dot, e.g. "cfg"
    std::string initialName;       // e.g. "*.cfg"
    std::string startFolder;       // empty: the current folder
};

class IOperatorPrompts {
public:
    virtual ~IOperatorPrompts() = default;
    // Shows a message box with one OK button.
    virtual void Message(const PromptMessage& message) = 0;
    // Asks a yes/no question; true for Yes.
    virtual bool Question(const PromptMessage& message) = 0;
    // The chosen path, with the default extension added when the name has
    // none; nothing when the operator cancelled.
    virtual std::optional<std::string> AskFile(const FileDialogRequest& request) = 0;
};

// The prompts in use: the Qt dialogs unless a test installed its own.
IOperatorPrompts& Prompts();
// Installs `prompts` (not owned); nullptr restores the Qt dialogs.
void SetPrompts(IOperatorPrompts* prompts);

// The program has been asked to end (SIGTERM, SIGINT): from now on the Qt
// dialogs are not shown (a message is passed over, a question answered No, a
// file dialog cancelled), so that nothing waits for an operator.
void EndPrompts();

// Caption "Error", warning icon.
void ShowError(const std::string& text);
// Caption "Alert", information icon.
void ShowAlert(const std::string& text);
// Any caption and icon.
void ShowMessage(const std::string& text, const std::string& caption, PromptIcon icon);

// The file dialog of a configuration file or set: the "Config files" filter,
// extension "cfg", initial name "*.cfg"; `title` empty for the system's own.
FileDialogRequest ConfigFileRequest(bool save, const std::string& title);

// "Icon files (*.ico)|*.ico|All files (*.*)|*.*||" -> the Qt form
// "Icon files (*.ico);;All files (*.*)".
std::string QtFileFilter(const std::string& filter);
// Adds ".ext" when the file name of `path` has no extension.
std::string WithDefaultExtension(const std::string& path, const std::string& extension);

// The dialogs shown on screen.
class QtOperatorPrompts : public IOperatorPrompts {
public:
    void Message(const PromptMessage& message) override;
    bool Question(const PromptMessage& message) override;
    std::optional<std::string> AskFile(const FileDialogRequest& request) override;
};
