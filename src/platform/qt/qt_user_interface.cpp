#include "platform/qt/qt_user_interface.h"

#include <QCloseEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

#include "platform/qt/folder_dialog.h"
#include "platform/qt/qt_edge.h"
#include "platform/qt/save_panel.h"
#include "util/strings.h"

namespace tf {
namespace {

// QMessageBox ignores Escape and the close button unless some button means "cancel"; an
// alert whose buttons are all answers is still dismissed by them, and answers -1.
class AlertBox : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;
    bool dismissable = false;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (dismissable && event->matches(QKeySequence::Cancel)) {
            reject();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        if (dismissable) {
            QDialog::closeEvent(event);
            return;
        }
        QMessageBox::closeEvent(event);
    }
};

QMessageBox::Icon alertIcon(AlertStyle style) {
    switch (style) {
        case AlertStyle::Informational:
            return QMessageBox::Information;
        case AlertStyle::Critical:
            return QMessageBox::Critical;
        case AlertStyle::Warning:
            break;
    }
    return QMessageBox::Warning;
}

}  // namespace

int QtUserInterface::runAlert(const AlertRequest& request) {
    AlertBox box(alertIcon(request.style), qt::windowTitle(), qt::text(request.message),
                 QMessageBox::NoButton, parent_);
    box.setTextFormat(Qt::PlainText);
    if (!request.informative.empty()) {
        box.setInformativeText(qt::text(request.informative));
    }
    std::vector<std::string> titles = request.buttons;
    if (titles.empty()) {
        titles.push_back(localized("OK"));
    }
    // Platform layouts group buttons by role but keep the order within a role, so one role
    // for all keeps them as the request reads.
    std::vector<QPushButton*> buttons;
    for (const std::string& title : titles) {
        buttons.push_back(box.addButton(qt::text(title), QMessageBox::ActionRole));
    }
    box.setDefaultButton(buttons.front());
    box.dismissable = buttons.size() > 1;
    qt::bringToFront(&box);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::optional<std::string> QtUserInterface::chooseFolder(const FolderRequest& request) {
    return runFolderDialog(request, parent_);
}

std::optional<SaveAnswer> QtUserInterface::runSavePanel(const SaveRequest& request) {
    SavePanel panel(request, parent_);
    qt::bringToFront(&panel);
    if (panel.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return panel.answer();
}

std::optional<std::string> QtUserInterface::askText(const TextRequest& request) {
    QInputDialog dialog(parent_);
    dialog.setWindowTitle(qt::windowTitle());
    dialog.setInputMode(QInputDialog::TextInput);
    QString label = qt::text(request.message);
    if (!request.informative.empty()) {
        label +=
            (label.isEmpty() ? QString() : QStringLiteral("\n\n")) + qt::text(request.informative);
    }
    dialog.setLabelText(label);
    dialog.setTextValue(qt::text(request.defaultText));
    // The dialog sizes itself to its parts; a wider field leaves room for long names.
    if (auto* field = dialog.findChild<QLineEdit*>()) {
        field->setMinimumWidth(340);
    }
    dialog.setOkButtonText(qt::text(localized("OK")));
    dialog.setCancelButtonText(qt::text(localized("Cancel")));
    qt::bringToFront(&dialog);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return qt::text(dialog.textValue());
}

}  // namespace tf
