#include "settings/script_editor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "commands/scripts/placeholders.h"
#include "platform/qt/qt_edge.h"
#include "settings/labels.h"
#include "settings/name_sheet.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {
namespace {

QString fieldLabel(std::string_view key) {
    return label(key) + QLatin1Char(':');
}

// How long a message stays over the sheet.
constexpr int kHudMilliseconds = 2500;

}  // namespace

ScriptKindFields scriptKindFields(ScriptKind kind) {
    return kind == ScriptKind::Shell ? ScriptKindFields{"shell", "sh"}
                                     : ScriptKindFields{"python", "py"};
}

ScriptKind scriptKindOf(const RCMenuItem& item) {
    if (item.ext.empty() && item.script.empty()) {
        return ScriptKind::Shell;
    }
    return scriptLanguageFor(item.ext) == ScriptLanguage::Shell ? ScriptKind::Shell
                                                                : ScriptKind::Python;
}

ScriptProblem checkScript(const QString& name, const QString& content) {
    if (!isValid(qt::text(name))) {
        return ScriptProblem::NoName;
    }
    if (content.isEmpty()) {
        return ScriptProblem::NoContent;
    }
    if (name.size() > kMaxDisplayNameLength) {
        return ScriptProblem::NameTooLong;
    }
    return ScriptProblem::None;
}

std::string storedFormats(const QString& field) {
    QString text = field.toLower();
    text.replace(QChar(0xFF0C), QLatin1Char(','));
    // The menu compares each item with a selected file's extension as it stands, so blanks
    // typed after a comma would make the item match nothing.
    QStringList formats;
    for (const QString& format : text.split(QLatin1Char(','))) {
        const QString trimmed = format.trimmed();
        if (!trimmed.isEmpty()) {
            formats << trimmed;
        }
    }
    return qt::text(formats.join(QLatin1Char(',')));
}

RCTextView::RCTextView(QWidget* parent) : QPlainTextEdit(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 4);
    document()->setDocumentMargin(6);
}

RCScriptHelpViewCtl::RCScriptHelpViewCtl(QWidget* parent) : QFrame(parent, Qt::Popup) {
    setFrameShape(QFrame::StyledPanel);
    textView_ = new QTextBrowser(this);
    textView_->setFrameShape(QFrame::NoFrame);
    textView_->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    QPalette clear = textView_->palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    textView_->setPalette(clear);
    textView_->setMinimumSize(520, 360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->addWidget(textView_);
    setContent(label("Script Content Tip"));
}

QString RCScriptHelpViewCtl::content() const {
    return textView_->toPlainText();
}

void RCScriptHelpViewCtl::setContent(const QString& text) {
    textView_->setPlainText(text);
}

void RCScriptHelpViewCtl::showBelow(QWidget* anchor) {
    adjustSize();
    if (anchor != nullptr) {
        move(anchor->mapToGlobal(QPoint(anchor->width() / 2 - width() / 2, anchor->height())));
    }
    show();
}

RCAddEditScriptWinCtl::RCAddEditScriptWinCtl(QWidget* parent) : QDialog(parent) {
    setWindowTitle(qt::windowTitle());

    nameInput_ = new QLineEdit(this);
    nameInput_->setPlaceholderText(label("Please enter a script name"));

    // Two joined toggle buttons, one of them always down: the kind.
    kindGroup_ = new QButtonGroup(this);
    kindGroup_->setExclusive(true);
    auto* kinds = new QHBoxLayout;
    kinds->setSpacing(0);
    for (const ScriptKind kind : {ScriptKind::Shell, ScriptKind::Python}) {
        auto* button = new QPushButton(
            label(kind == ScriptKind::Shell ? "Script Kind Shell" : "Script Kind Python"), this);
        button->setCheckable(true);
        kindGroup_->addButton(button, static_cast<int>(kind));
        kinds->addWidget(button);
    }
    connect(kindGroup_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) {
            contentTextView_->setPlaceholderText(label(id == static_cast<int>(ScriptKind::Shell)
                                                           ? "Script Content Placeholder"
                                                           : "Script Content Placeholder Python"));
        }
    });
    kinds->addStretch(1);

    contentTextView_ = new RCTextView(this);
    contentTextView_->setMinimumSize(520, 220);
    auto* help = new QToolButton(this);
    help->setText(QStringLiteral("?"));
    help->setToolTip(label("Script Help Button"));
    helpButton_ = help;
    connect(help, &QToolButton::clicked, this, &RCAddEditScriptWinCtl::onHelpAction);
    auto* contentTip = new QLabel(label("Script Placeholder Tip"), this);
    contentTip->setWordWrap(true);
    QPalette grey = contentTip->palette();
    grey.setColor(QPalette::WindowText, grey.color(QPalette::PlaceholderText));
    contentTip->setPalette(grey);

    fileCheck_ = new QCheckBox(label("Need Select File Check"), this);
    folderCheck_ = new QCheckBox(label("Need Select Folder Check"), this);
    connect(fileCheck_, &QCheckBox::toggled, this, &RCAddEditScriptWinCtl::onFileCheckAction);
    formatInput_ = new QLineEdit(this);
    formatInput_->setPlaceholderText(label("Format Input Placeholder"));
    auto* formatTip = new QLabel(label("Format Input Tip"), this);
    formatTip->setWordWrap(true);
    formatTip->setPalette(grey);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* cancel = buttons->addButton(label("Cancel"), QDialogButtonBox::RejectRole);
    QPushButton* ok = buttons->addButton(label("OK"), QDialogButtonBox::AcceptRole);
    // Return belongs to the script text; OK is clicked.
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &RCAddEditScriptWinCtl::onSure);
    connect(cancel, &QPushButton::clicked, this, &RCAddEditScriptWinCtl::onCancel);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(fieldLabel("Script Name"), this), 0, 0);
    grid->addWidget(nameInput_, 0, 1);
    grid->addWidget(new QLabel(fieldLabel("Script Type"), this), 1, 0);
    grid->addLayout(kinds, 1, 1);
    auto* contentRow = new QHBoxLayout;
    contentRow->addWidget(new QLabel(fieldLabel("Script Content"), this));
    contentRow->addStretch(1);
    contentRow->addWidget(help);
    grid->addLayout(contentRow, 2, 0, 1, 2);
    grid->addWidget(contentTextView_, 3, 0, 1, 2);
    grid->addWidget(contentTip, 4, 0, 1, 2);
    auto* checks = new QHBoxLayout;
    checks->addWidget(fileCheck_);
    checks->addWidget(folderCheck_);
    checks->addStretch(1);
    grid->addLayout(checks, 5, 0, 1, 2);
    grid->addWidget(new QLabel(fieldLabel("Formats"), this), 6, 0);
    grid->addWidget(formatInput_, 6, 1);
    grid->addWidget(formatTip, 7, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addWidget(buttons);

    // The message over the sheet: it says what is missing and fades by itself.
    hud_ = new QLabel(this);
    hud_->setAlignment(Qt::AlignCenter);
    hud_->setWordWrap(true);
    hud_->setStyleSheet(
        QStringLiteral("QLabel { background: rgba(40, 40, 40, 215); color: white;"
                       " border-radius: 8px; padding: 14px 20px; }"));
    hud_->hide();
    hudTimer_ = new QTimer(this);
    hudTimer_->setSingleShot(true);
    connect(hudTimer_, &QTimer::timeout, hud_, &QLabel::hide);

    editWithItem(RCMenuItem());
}

ScriptKind RCAddEditScriptWinCtl::kind() const {
    return kindGroup_->checkedId() == static_cast<int>(ScriptKind::Python) ? ScriptKind::Python
                                                                           : ScriptKind::Shell;
}

void RCAddEditScriptWinCtl::setKind(ScriptKind kind) {
    kindGroup_->button(static_cast<int>(kind))->setChecked(true);
}

void RCAddEditScriptWinCtl::editWithItem(const RCMenuItem& item) {
    key_ = isValid(item.key) ? item.key : uuid();
    setKind(scriptKindOf(item));
    fileCheck_->setChecked(item.isNeedFile);
    folderCheck_->setChecked(item.isNeedFolder);
    QStringList formats;
    for (const std::string& format : item.formats) {
        formats << qt::text(format);
    }
    formatInput_->setText(formats.join(QLatin1Char(',')));
    formatInput_->setEnabled(item.isNeedFile);
    nameInput_->setText(qt::text(item.displayName));
    contentTextView_->setPlainText(qt::text(item.script));
    hud_->hide();
}

void RCAddEditScriptWinCtl::openOnWindow(QWidget* parent) {
    openAsSheet(*this, parent, nameInput_);
}

QString RCAddEditScriptWinCtl::hudText() const {
    return hud_->isVisible() ? hud_->text() : QString();
}

void RCAddEditScriptWinCtl::showHudInfo(const QString& text) {
    hud_->setText(text);
    // One line when it fits in two thirds of the sheet, wrapped otherwise.
    const QMargins margins = hud_->contentsMargins();
    const int natural =
        hud_->fontMetrics().horizontalAdvance(text) + margins.left() + margins.right() + 48;
    hud_->setFixedWidth(std::min(natural, width() * 2 / 3));
    hud_->setFixedHeight(hud_->heightForWidth(hud_->width()));
    hud_->move((width() - hud_->width()) / 2, (height() - hud_->height()) / 2);
    hud_->raise();
    hud_->show();
    hudTimer_->start(kHudMilliseconds);
}

void RCAddEditScriptWinCtl::onFileCheckAction(bool on) {
    formatInput_->setEnabled(on);
    if (!on) {
        formatInput_->clear();
    }
}

void RCAddEditScriptWinCtl::onHelpAction() {
    if (helpViewCtl_ == nullptr) {
        helpViewCtl_ = new RCScriptHelpViewCtl(this);
    }
    helpViewCtl_->showBelow(helpButton_);
}

void RCAddEditScriptWinCtl::onCancel() {
    reject();
}

void RCAddEditScriptWinCtl::onSure() {
    const QString name = nameInput_->text();
    const QString content = contentTextView_->toPlainText();
    switch (checkScript(name, content)) {
        case ScriptProblem::NoName:
            showHudInfo(label("Please enter a script name"));
            return;
        case ScriptProblem::NoContent:
            showHudInfo(label("Please enter the script content"));
            return;
        case ScriptProblem::NameTooLong:
            showHudInfo(label("The name cannot exceed 30 characters"));
            return;
        case ScriptProblem::None:
            break;
    }
    const ScriptKindFields fields = scriptKindFields(kind());
    const bool needFile = fileCheck_->isChecked();
    const Dict script{
        {"key", key_},
        {"icon", fields.icon},
        {"ext", fields.ext},
        {"displayName", qt::text(name)},
        {"script", qt::text(content)},
        {"formats", needFile ? storedFormats(formatInput_->text()) : std::string()},
        {"needFolder", Value(folderCheck_->isChecked() ? 1 : 0)},
        {"needFile", Value(needFile ? 1 : 0)},
    };
    // Closed first: the handler may open the sheet again for the next script.
    accept();
    if (addEditSuccessBlock) {
        addEditSuccessBlock(script);
    }
}

}  // namespace tf
