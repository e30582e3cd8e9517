// Port to the user: alerts, the folder chooser, the save panel and a one-line text question.
// Every request carries texts that are already localized. All calls are modal: they return
// once the user has answered (or the prompt was dismissed).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tf {

enum class AlertStyle { Warning, Informational, Critical };

struct AlertRequest {
    std::string message;
    std::string informative;
    // Left to right as the user reads them; the first is the default button. Empty means
    // one "OK" button chosen by the implementation.
    std::vector<std::string> buttons;
    AlertStyle style = AlertStyle::Warning;
};

struct FolderRequest {
    // Title of the confirming button.
    std::string prompt;
    std::string message;
    // Folder shown first; empty leaves it to the implementation.
    std::string startFolder;
};

// What the save panel shows below the name and folder fields.
struct SaveRequest {
    std::string title;
    std::string message;
    std::string name;
    std::string folder;
    // Extensions the saved name may take (without dots); empty allows any.
    std::vector<std::string> allowedTypes;
    // A password field with this label when non-empty, showing the placeholder while empty.
    std::string passwordLabel;
    std::string passwordPlaceholder;
    // A check box with this title when non-empty.
    std::string checkBoxTitle;
    bool checkBoxState = false;
    // A list of file types to pick from when non-empty; the chosen one decides the extension.
    std::vector<std::string> typeList;
    int selectedType = 0;
};

struct SaveAnswer {
    std::string path;
    std::string password;
    bool checked = false;
    // Index into SaveRequest::typeList, or -1 without a list.
    int typeIndex = -1;
};

struct TextRequest {
    std::string message;
    std::string informative;
    std::string defaultText;
};

class UserInterface {
  public:
    virtual ~UserInterface() = default;

    // 0-based index of the chosen button, or -1 when the alert was dismissed unanswered.
    virtual int runAlert(const AlertRequest& request) = 0;
    // The chosen folder, or nothing on cancel.
    virtual std::optional<std::string> chooseFolder(const FolderRequest& request) = 0;
    virtual std::optional<SaveAnswer> runSavePanel(const SaveRequest& request) = 0;
    virtual std::optional<std::string> askText(const TextRequest& request) = 0;
};

}  // namespace tf
