#include "ui/prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>
#include <vector>

#include "ui/operator_texts.h"

namespace {

QtOperatorPrompts g_qtPrompts;
IOperatorPrompts* g_prompts = nullptr;
bool g_promptsEnded = false;

QMessageBox::Icon ToQtIcon(PromptIcon icon) {
    switch (icon) {
    case PromptIcon::Warning: return QMessageBox::Warning;
    case PromptIcon::Information: return QMessageBox::Information;
    case PromptIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QWidget* DialogParent() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) w = QApplication::activeWindow();
    return w;
}

}  // namespace

IOperatorPrompts& Prompts() { return g_prompts ? *g_prompts : g_qtPrompts; }
void SetPrompts(IOperatorPrompts* prompts) { g_prompts = prompts; }
void EndPrompts() { g_promptsEnded = true; }

void ShowMessage(const std::string& text, const std::string& caption, PromptIcon icon) {
    Prompts().Message(PromptMessage{text, caption, icon});
}
void ShowError(const std::string& text) { ShowMessage(text, "Error", PromptIcon::Warning); }
void ShowAlert(const std::string& text) { ShowMessage(text, "Alert", PromptIcon::Information); }

std::string QtFileFilter(const std::string& filter) {
    // Pairs of "description|pattern", ended by an empty field.
    std::vector<std::string> fields;
    std::string field;
    for (char c : filter) {
        if (c == '|') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.empty()) fields.push_back(field);
    std::string out;
    for (size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].empty()) break;
        if (!out.empty()) out += ";;";
        out += fields[i];
        // Qt takes the patterns from the description; add them when it lacks them.
        if (fields[i].find('(') == std::string::npos) out += " (" + fields[i + 1] + ")";
    }
    return out;
}

FileDialogRequest ConfigFileRequest(bool save, const std::string& title) {
    FileDialogRequest request;
    request.save = save;
    request.title = title;
    request.filter = kConfigFilter;
    request.defaultExtension = kConfigExtension;
    request.initialName = kConfigInitialName;
    return request;
}

std::string WithDefaultExtension(const std::string& path, const std::string& extension) {
    if (extension.empty() || path.empty()) return path;
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.find('.') != std::string::npos) return path;
    return path + "." + extension;
}

void QtOperatorPrompts::Message(const PromptMessage& message) {
    if (g_promptsEnded) return;
    QMessageBox box(ToQtIcon(message.icon), QString::fromStdString(message.caption),
                    QString::fromStdString(message.text), QMessageBox::Ok, DialogParent());
    box.exec();
}

bool QtOperatorPrompts::Question(const PromptMessage& message) {
    if (g_promptsEnded) return false;
    QMessageBox box(ToQtIcon(message.icon), QString::fromStdString(message.caption),
                    QString::fromStdString(message.text), QMessageBox::Yes | QMessageBox::No,
                    DialogParent());
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtOperatorPrompts::AskFile(const FileDialogRequest& request) {
    if (g_promptsEnded) return std::nullopt;
    QFileDialog dialog(DialogParent(), QString::fromStdString(request.title),
                       QString::fromStdString(request.startFolder));
    dialog.setNameFilter(QString::fromStdString(QtFileFilter(request.filter)));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // "*.cfg" is a pattern, not a name: it only selects the filter.
    if (!request.initialName.empty() && request.initialName.find('*') == std::string::npos)
        dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return WithDefaultExtension(dialog.selectedFiles().front().toStdString(),
                                request.defaultExtension);
}
