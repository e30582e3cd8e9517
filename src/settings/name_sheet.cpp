#include "settings/name_sheet.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/qt_edge.h"
#include "platform/qt/qt_user_interface.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

NameVerdict judgeName(const QString& name, bool required) {
    if (required && !isValid(qt::text(name))) {
        return NameVerdict::Ignore;
    }
    return name.size() <= kMaxDisplayNameLength ? NameVerdict::Accept : NameVerdict::TooLong;
}

RCEditNameWinCtl::RCEditNameWinCtl(QWidget* parent) : QDialog(parent) {
    setWindowTitle(qt::windowTitle());
    tip_ = new QLabel(qt::text(localized("Please enter a display name")), this);
    field_ = new QLineEdit(this);
    field_->setPlaceholderText(qt::text(localized("Without Display Name Tip")));
    field_->setMinimumWidth(320);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* cancel =
        buttons->addButton(qt::text(localized("Cancel")), QDialogButtonBox::RejectRole);
    QPushButton* ok = buttons->addButton(qt::text(localized("OK")), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &RCEditNameWinCtl::onSure);
    connect(cancel, &QPushButton::clicked, this, &RCEditNameWinCtl::onCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tip_);
    layout->addWidget(field_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void RCEditNameWinCtl::setDefaultAlias(const QString& alias) {
    field_->setText(isValid(qt::text(alias)) ? alias : QString());
    field_->selectAll();
}

void RCEditNameWinCtl::setTipLabelString(const QString& text) {
    tip_->setText(text);
}

void RCEditNameWinCtl::setTipPlaceholder(const QString& text) {
    field_->setPlaceholderText(text);
}

void openAsSheet(QDialog& sheet, QWidget* parent, QWidget* focus) {
    if (sheet.isVisible()) {
        sheet.hide();
    }
    if (parent != nullptr && sheet.parentWidget() != parent) {
        sheet.setParent(parent, sheet.windowFlags());
    }
    sheet.setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    if (focus != nullptr) {
        focus->setFocus();
    }
    sheet.open();
}

void RCEditNameWinCtl::openOnWindow(QWidget* parent) {
    openAsSheet(*this, parent, field_);
}

void RCEditNameWinCtl::onSure() {
    const QString name = field_->text();
    switch (judgeName(name, required)) {
        case NameVerdict::Ignore:
            return;
        case NameVerdict::TooLong: {
            QtUserInterface ui(this);
            ui.runAlert(
                {localized("The name cannot exceed 30 characters"), {}, {}, AlertStyle::Warning});
            return;
        }
        case NameVerdict::Accept:
            break;
    }
    // Closed first: the handler may open the sheet again for the next name.
    accept();
    if (editHandler) {
        editHandler(name);
    }
}

void RCEditNameWinCtl::onCancel() {
    reject();
    if (cancelHandler) {
        cancelHandler();
    }
}

}  // namespace tf
