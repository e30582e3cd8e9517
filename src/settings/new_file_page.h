// RCNewFileViewCtl: the new-file templates list (on/off, order, top level, add, edit, remove,
// restore) and whether a new file is opened right away. RCAddFileWinCtl: the add/edit form of
// one template. The chosen template file and icon wait in the cache folder until the form is
// confirmed, then move into the template folder; cancelling leaves nothing behind.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <string_view>

#include "model/menu_item.h"
#include "settings/list_page.h"

class QCheckBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tf {

// Whether the form can be confirmed: a special file needs a menu name and a whole file name
// that is not made of dots only ("." and ".." name folders); an ordinary one needs a menu
// name, an extension and a default file name.
bool addFileFormComplete(bool special, std::string_view type, std::string_view fileName,
                         std::string_view ext, std::string_view defaultName);

class RCAddFileWinCtl : public QDialog {
    Q_OBJECT
  public:
    // A new form works on an empty entry with a fresh key.
    explicit RCAddFileWinCtl(QWidget* parent = nullptr);
    ~RCAddFileWinCtl() override;

    // Called with the confirmed entry.
    std::function<void(const RCMenuItem&)> addSuccessBlock;

    void editWithItem(const RCMenuItem& item);
    const RCMenuItem& menuItem() const { return menuItem_; }
    // Staged files in the cache folder; empty until chosen.
    const std::string& stagedTemplate() const { return templatePath_; }
    const std::string& stagedIcon() const { return iconPath_; }

    QLineEdit* inputFileType() const { return inputFileType_; }
    QLineEdit* inputDisplayName() const { return inputDisplayName_; }
    QLineEdit* inputExtension() const { return inputExtension_; }
    QLineEdit* inputFileName() const { return inputFileName_; }
    QCheckBox* specialFileCheck() const { return checkedSpecialFile_; }
    QPushButton* sureButton() const { return sureBtn_; }

  public slots:
    void refresh();
    void onSelectTemplate();
    void onSelectIcon();
    void onCancel();
    void onSure();
    // Closing the form by its title bar or Escape cancels it.
    void reject() override;

  private:
    void stageIcon(const QImage& image);
    void discardStaged();

    RCMenuItem menuItem_;
    std::string templatePath_;
    std::string iconPath_;

    QLineEdit* inputFileType_;
    QLineEdit* inputDisplayName_;
    QLineEdit* inputExtension_;
    QLineEdit* inputFileName_;
    QCheckBox* checkedSpecialFile_;
    QFormLayout* form_;
    QPushButton* buttonIcon_;
    QPushButton* buttonSelectTemplate_;
    QLabel* labelTipSelected_;
    QPushButton* sureBtn_;
    QPushButton* cancelBtn_;
};

class RCNewFileViewCtl : public ListPage {
    Q_OBJECT
  public:
    explicit RCNewFileViewCtl(QWidget* parent = nullptr);

    // The form of the current add or edit (a fresh one each time), or null.
    RCAddFileWinCtl* addFileWindow() const { return addFileWinCtl_; }
    QCheckBox* openFileCheck() const { return openFileChecked_; }

  public slots:
    void onOpenFileCheck(bool on);

  protected:
    void addEntry() override;
    void editEntry(const RCMenuItem& item) override;
    void refreshControls() override;

  private:
    RCAddFileWinCtl* newForm();

    QCheckBox* openFileChecked_;
    RCAddFileWinCtl* addFileWinCtl_ = nullptr;
};

}  // namespace tf
