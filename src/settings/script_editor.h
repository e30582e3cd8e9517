// RCAddEditScriptWinCtl: the sheet that edits one script of the scripts list (name, kind,
// text, the conditions under which the menu offers it), with RCScriptHelpViewCtl, the
// pop-up that explains the placeholders. The sheet only returns the script's dictionary; it
// never runs a script.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QPlainTextEdit>
#include <QString>

#include <functional>
#include <string>

#include "model/menu_item.h"
#include "model/value.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QTextBrowser;
class QTimer;

namespace tf {

// The two kinds of script and how a record marks them: the menu service runs "sh" with bash
// and every other kind as Python 3 source.
enum class ScriptKind { Shell = 0, Python = 1 };
struct ScriptKindFields {
    const char* icon;
    const char* ext;
};
ScriptKindFields scriptKindFields(ScriptKind kind);
// The kind the menu service runs this record as; a record with neither text nor kind yet is
// a new script, which starts as a shell script.
ScriptKind scriptKindOf(const RCMenuItem& item);

// What confirming the sheet finds first, in the order the sheet checks.
enum class ScriptProblem { None, NoName, NoContent, NameTooLong };
ScriptProblem checkScript(const QString& name, const QString& content);

// The extensions field as stored: lower case, full-width commas read as ",", blanks around
// each extension and empty items dropped ("TXT， Md" gives "txt,md").
std::string storedFormats(const QString& field);

// A plain-text editor for source code: monospace, no wrapping, quotes stay as typed, and a
// placeholder drawn while it is empty.
class RCTextView : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit RCTextView(QWidget* parent = nullptr);
};

// The placeholder help: a transient pop-up under the button that opened it.
class RCScriptHelpViewCtl : public QFrame {
    Q_OBJECT
  public:
    explicit RCScriptHelpViewCtl(QWidget* parent = nullptr);

    QString content() const;
    void setContent(const QString& text);
    // Shows the pop-up below `anchor`, closing when the user clicks elsewhere.
    void showBelow(QWidget* anchor);

  private:
    QTextBrowser* textView_;
};

class RCAddEditScriptWinCtl : public QDialog {
    Q_OBJECT
  public:
    explicit RCAddEditScriptWinCtl(QWidget* parent = nullptr);

    // Called with the script's dictionary after a confirmed add or edit.
    std::function<void(const Dict&)> addEditSuccessBlock;

    // Loads the sheet with `item` (an empty item for a new script; it gets a fresh key).
    void editWithItem(const RCMenuItem& item);
    // Shows the sheet window-modal over `parent`.
    void openOnWindow(QWidget* parent);

    const std::string& key() const { return key_; }
    ScriptKind kind() const;
    void setKind(ScriptKind kind);
    QLineEdit* nameInput() const { return nameInput_; }
    RCTextView* contentTextView() const { return contentTextView_; }
    QCheckBox* fileCheck() const { return fileCheck_; }
    QCheckBox* folderCheck() const { return folderCheck_; }
    QLineEdit* formatInput() const { return formatInput_; }
    QAbstractButton* helpButton() const { return helpButton_; }
    // The help pop-up, once it has been opened.
    RCScriptHelpViewCtl* helpViewCtl() const { return helpViewCtl_; }
    // The message shown over the sheet, empty when none is showing.
    QString hudText() const;

  public slots:
    void onFileCheckAction(bool on);
    void onHelpAction();
    void onCancel();
    void onSure();

  private:
    void showHudInfo(const QString& text);

    std::string key_;
    QButtonGroup* kindGroup_;
    QLineEdit* nameInput_;
    RCTextView* contentTextView_;
    QCheckBox* fileCheck_;
    QCheckBox* folderCheck_;
    QLineEdit* formatInput_;
    QAbstractButton* helpButton_;
    QLabel* hud_;
    QTimer* hudTimer_;
    RCScriptHelpViewCtl* helpViewCtl_ = nullptr;
};

}  // namespace tf
