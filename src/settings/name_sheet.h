// RCEditNameWinCtl: asks for a display name (of a menu entry, a path, a template) in a small
// window-modal dialog with a label, a text field, OK and Cancel.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;

namespace tf {

// Longest name the sheet accepts, in UTF-16 code units as the field counts them.
inline constexpr int kMaxDisplayNameLength = 30;

enum class NameVerdict { Accept, Ignore, TooLong };

// What confirming `name` does: a required name that is blank (or "(null)") is ignored and the
// sheet stays open; a name longer than the limit is refused with a message.
NameVerdict judgeName(const QString& name, bool required);

// Shows `sheet` window-modal over `parent` (application-modal without one), with the focus in
// `focus`; a sheet already showing is shown again over the new parent.
void openAsSheet(QDialog& sheet, QWidget* parent, QWidget* focus);

class RCEditNameWinCtl : public QDialog {
    Q_OBJECT
  public:
    explicit RCEditNameWinCtl(QWidget* parent = nullptr);

    std::function<void(const QString&)> editHandler;
    std::function<void()> cancelHandler;
    bool required = false;

    // Also puts the text into the field at once.
    void setDefaultAlias(const QString& alias);
    void setTipLabelString(const QString& text);
    void setTipPlaceholder(const QString& text);
    QLineEdit* field() const { return field_; }

    // Shows the sheet window-modal over `parent` (or alone without one).
    void openOnWindow(QWidget* parent);

  public slots:
    void onSure();
    void onCancel();

  private:
    QLabel* tip_;
    QLineEdit* field_;
};

}  // namespace tf
