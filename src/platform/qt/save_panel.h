// The save panel: name, folder and the accessory rows a request asks for (password, check
// box, file-type list). The chosen type decides the extension of the saved name.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "platform/user_interface.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QPushButton;

namespace tf {

// The extension a file-type list entry stands for: "Text Document (.txt)" gives "txt", a
// bare extension such as "png" is itself, anything else gives nothing.
std::string typeListExtension(const std::string& entry);

// The extensions the saved name may take while entry `typeIndex` of the type list is
// chosen (the request's allowed types without a list).
std::vector<std::string> allowedTypesFor(const SaveRequest& request, int typeIndex);

// `name` keeps an extension it already has from `allowed` (in any case); otherwise the first
// allowed extension is appended. Any name passes when `allowed` is empty.
std::string nameWithAllowedType(const std::string& name, const std::vector<std::string>& allowed);

// The name after the user picked a type with extension `ext`: an extension from `known`
// is replaced, any other name gets `ext` appended. An empty `ext` leaves the name alone.
std::string nameForType(const std::string& name, const std::string& ext,
                        const std::vector<std::string>& known);

class SavePanel : public QDialog {
  public:
    explicit SavePanel(const SaveRequest& request, QWidget* parent = nullptr);

    // What the user saved; meaningful once the panel was accepted.
    SaveAnswer answer() const;

    // Saves when the name and folder allow it, after asking about an existing item.
    void accept() override;

  private:
    void addAccessoryRows(QFormLayout* form);
    int typeIndex() const;
    std::string folderBytes() const;
    void chooseFolder();
    void typeChosen(int index);
    void updateSaveButton();
    bool confirmReplace(const std::string& name);

    SaveRequest request_;
    QLineEdit* name_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* checkBox_ = nullptr;
    QComboBox* types_ = nullptr;
    QPushButton* save_ = nullptr;
    std::string savedPath_;
};

}  // namespace tf
