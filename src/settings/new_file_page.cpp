#include "settings/new_file_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

#include "model/default_data.h"
#include "model/file_record.h"
#include "model/menu_manager.h"
#include "platform/qt/qt_edge.h"
#include "settings/file_chooser.h"
#include "settings/general_page.h"
#include "settings/labels.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {
namespace {

namespace fs = std::filesystem;

RCMenuManager& manager() {
    return RCMenuManager::sharedInstance();
}

QString fieldLabel(std::string_view key) {
    return qt::text(localized(key) + ":");
}

QString example(std::string_view text) {
    return qt::text(localized("eg:") + std::string(text));
}

// Moves a staged file over `target`. An edited entry keeps its file name, so the file from
// the last confirmation is replaced; otherwise the user's new choice would be lost.
void moveReplacing(const std::string& staged, const std::string& target) {
    std::error_code error;
    fs::rename(staged, target, error);
    if (error) {
        // Another file system: copy, then drop the staged file.
        fs::copy_file(staged, target, fs::copy_options::overwrite_existing, error);
        fs::remove(staged, error);
    }
}

std::string extensionText(const RCMenuItem& item) {
    if (item.isNewFileFromWindow()) {
        return {};
    }
    if (item.isSpecialFile) {
        return localized("Special File");
    }
    return "." + (isValid(item.ext) ? item.ext : item.key);
}

// What a confirmed form changes in a stored template (and in its main-list copy).
Dict formFields(const RCMenuItem& item) {
    return Dict{{"ext", Value(item.ext)},
                {"displayName", Value(item.displayName)},
                {"fileName", Value(item.fileName)},
                {"iconPath", Value(item.iconPath)},
                {"templatePath", Value(item.templatePath)},
                {"special", Value(item.isSpecialFile)}};
}

Dict mainMenuCopy(const RCMenuItem& item) {
    Dict copy = formFields(item);
    copy["key"] = Value(item.key);
    copy["mainMenuNewFile"] = Value(true);
    copy["icon"] = Value(isValid(item.icon) ? item.icon : std::string("file"));
    return copy;
}

}  // namespace

bool addFileFormComplete(bool special, std::string_view type, std::string_view fileName,
                         std::string_view ext, std::string_view defaultName) {
    if (special) {
        const std::string name = trim(fileName);
        return isValid(type) && isValid(fileName) &&
               name.find_first_not_of('.') != std::string::npos;
    }
    return isValid(type) && isValid(ext) && isValid(defaultName);
}

RCAddFileWinCtl::RCAddFileWinCtl(QWidget* parent) : QDialog(parent) {
    menuItem_.key = uuid();
    setWindowTitle(label("Add File Template"));

    inputFileType_ = new QLineEdit(this);
    inputFileType_->setPlaceholderText(example(localized("docx")));
    inputDisplayName_ = new QLineEdit(label("Untitled"), this);
    inputDisplayName_->setPlaceholderText(example(localized("Untitled")));
    inputExtension_ = new QLineEdit(this);
    inputExtension_->setPlaceholderText(example("docx"));
    inputFileName_ = new QLineEdit(this);
    inputFileName_->setPlaceholderText(label("Special FileName Placeholder"));
    checkedSpecialFile_ = new QCheckBox(label("Special File"), this);

    buttonIcon_ = new QPushButton(this);
    buttonIcon_->setIconSize(QSize(48, 48));
    buttonIcon_->setFixedSize(60, 60);
    auto* labelTipIcon = new QLabel(label("Modify Icon Tip"), this);
    labelTipIcon->setWordWrap(true);
    auto* iconRow = new QHBoxLayout;
    iconRow->addWidget(buttonIcon_);
    iconRow->addWidget(labelTipIcon, 1);

    buttonSelectTemplate_ = new QPushButton(this);
    labelTipSelected_ = new QLabel(this);
    auto* labelTipTemplate = new QLabel(label("No Template Tip"), this);
    labelTipTemplate->setWordWrap(true);
    auto* templateRow = new QHBoxLayout;
    templateRow->addWidget(buttonSelectTemplate_);
    templateRow->addWidget(labelTipSelected_, 1);
    auto* templateBox = new QVBoxLayout;
    templateBox->addLayout(templateRow);
    templateBox->addWidget(labelTipTemplate);

    // One form for both kinds, so that the labels line up; the rows of the other kind hide.
    form_ = new QFormLayout;
    QFormLayout* form = form_;
    form->addRow(fieldLabel("File Type"), inputFileType_);
    form->addRow(QString(), checkedSpecialFile_);
    form->addRow(fieldLabel("Default Name"), inputDisplayName_);
    form->addRow(fieldLabel("Extension"), inputExtension_);
    form->addRow(fieldLabel("File Name"), inputFileName_);
    form->addRow(fieldLabel("File Icon"), iconRow);
    form->addRow(fieldLabel("File Template"), templateBox);

    auto* labelTipAddToFileTemplate = new QLabel(label("Add to File Template Tip"), this);
    labelTipAddToFileTemplate->setWordWrap(true);
    QPalette quiet = labelTipAddToFileTemplate->palette();
    quiet.setColor(QPalette::WindowText, quiet.color(QPalette::PlaceholderText));
    labelTipAddToFileTemplate->setPalette(quiet);
    labelTipTemplate->setPalette(quiet);
    labelTipIcon->setPalette(quiet);

    sureBtn_ = new QPushButton(label("OK"), this);
    sureBtn_->setDefault(true);
    cancelBtn_ = new QPushButton(label("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancelBtn_);
    buttons->addWidget(sureBtn_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(labelTipAddToFileTemplate);
    layout->addLayout(buttons);
    inputFileType_->setMinimumWidth(320);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QLineEdit* field : {inputFileType_, inputDisplayName_, inputExtension_, inputFileName_}) {
        connect(field, &QLineEdit::textChanged, this, &RCAddFileWinCtl::refresh);
    }
    connect(checkedSpecialFile_, &QCheckBox::toggled, this, &RCAddFileWinCtl::refresh);
    connect(buttonIcon_, &QPushButton::clicked, this, &RCAddFileWinCtl::onSelectIcon);
    connect(buttonSelectTemplate_, &QPushButton::clicked, this, &RCAddFileWinCtl::onSelectTemplate);
    connect(sureBtn_, &QPushButton::clicked, this, &RCAddFileWinCtl::onSure);
    connect(cancelBtn_, &QPushButton::clicked, this, &RCAddFileWinCtl::onCancel);
    refresh();
}

RCAddFileWinCtl::~RCAddFileWinCtl() {
    discardStaged();
}

void RCAddFileWinCtl::editWithItem(const RCMenuItem& item) {
    menuItem_ = item;
    setWindowTitle(label("Edit File Template"));
    const QSignalBlocker block(checkedSpecialFile_);
    checkedSpecialFile_->setChecked(item.isSpecialFile);
    inputFileType_->setText(
        qt::text(isValid(item.displayName) ? item.displayName : localized(item.key)));
    if (item.isSpecialFile) {
        inputFileName_->setText(qt::text(item.fileName));
    } else {
        inputDisplayName_->setText(
            qt::text(isValid(item.fileName) ? item.fileName : localized("Untitled")));
        inputExtension_->setText(qt::text(item.ext));
    }
    if (isValid(item.templatePath)) {
        labelTipSelected_->setText(qt::pathText(fs::path(item.templatePath).filename().string()));
    }
    refresh();
}

void RCAddFileWinCtl::refresh() {
    const bool special = checkedSpecialFile_->isChecked();
    form_->setRowVisible(inputFileName_, special);
    form_->setRowVisible(inputDisplayName_, !special);
    form_->setRowVisible(inputExtension_, !special);

    QIcon icon;
    if (!iconPath_.empty()) {
        icon = QIcon(qt::pathText(iconPath_));
    } else if (!menuItem_.menuIcon().isNone()) {
        icon = entryIcon(menuItem_);
    } else {
        icon = resourceIcon("file");
    }
    buttonIcon_->setIcon(icon);

    const bool hasTemplate = !templatePath_.empty() || isValid(menuItem_.templatePath);
    buttonSelectTemplate_->setText(label(hasTemplate ? "Modify Template" : "Select Template"));
    labelTipSelected_->setVisible(hasTemplate);

    sureBtn_->setEnabled(addFileFormComplete(
        special, qt::text(inputFileType_->text()), qt::text(inputFileName_->text()),
        qt::text(inputExtension_->text()), qt::text(inputDisplayName_->text())));
}

void RCAddFileWinCtl::stageIcon(const QImage& image) {
    const std::string cache = manager().cacheFolder();
    if (cache.empty()) {
        return;
    }
    iconPath_ = (fs::path(cache) / (menuItem_.key + ".png")).string();
    saveIconPng(image, qt::pathText(iconPath_));
}

void RCAddFileWinCtl::onSelectTemplate() {
    const QString chosen = fileChooser()(this, FileKind::Any);
    if (chosen.isEmpty()) {
        return;
    }
    const std::string path = qt::pathBytes(chosen);
    const RCFile file(path);
    if (checkedSpecialFile_->isChecked()) {
        inputFileType_->setText(qt::text(file.filename()));
        inputFileName_->setText(qt::text(file.filename()));
    } else {
        if (inputFileType_->text().isEmpty()) {
            inputFileType_->setText(qt::text(file.ext()).toUpper());
        }
        inputExtension_->setText(qt::text(file.ext()));
    }
    labelTipSelected_->setText(qt::text(file.filename()));

    const ImageRef icon = file.icon();
    const QIcon shown = icon.kind == ImageRef::Kind::File ? QIcon(qt::pathText(icon.value))
                                                          : resourceIcon(icon.value);
    stageIcon(shown.pixmap(QSize(60, 60)).toImage());

    const std::string cache = manager().cacheFolder();
    if (!cache.empty()) {
        templatePath_ = (fs::path(cache) / menuItem_.key).string();
        std::error_code error;
        fs::copy_file(path, templatePath_, fs::copy_options::overwrite_existing, error);
    }
    refresh();
}

void RCAddFileWinCtl::onSelectIcon() {
    const QString chosen = fileChooser()(this, FileKind::Image);
    if (chosen.isEmpty()) {
        return;
    }
    stageIcon(QImage(chosen));
    refresh();
}

void RCAddFileWinCtl::discardStaged() {
    std::error_code error;
    for (std::string* staged : {&templatePath_, &iconPath_}) {
        if (!staged->empty()) {
            fs::remove(*staged, error);
            staged->clear();
        }
    }
}

void RCAddFileWinCtl::onCancel() {
    discardStaged();
    QDialog::reject();
}

void RCAddFileWinCtl::reject() {
    onCancel();
}

void RCAddFileWinCtl::onSure() {
    refresh();
    if (!sureBtn_->isEnabled()) {
        return;
    }
    menuItem_.displayName = qt::text(inputFileType_->text());
    menuItem_.isSpecialFile = checkedSpecialFile_->isChecked();
    if (menuItem_.isSpecialFile) {
        menuItem_.fileName = qt::text(inputFileName_->text());
    } else {
        menuItem_.fileName = qt::text(inputDisplayName_->text());
        menuItem_.ext = qt::text(inputExtension_->text());
    }
    const std::string folder = manager().fileTemplateFolder();
    if (!folder.empty()) {
        if (!templatePath_.empty()) {
            menuItem_.templatePath = (fs::path(folder) / menuItem_.key).string();
            moveReplacing(templatePath_, menuItem_.templatePath);
        }
        if (!iconPath_.empty()) {
            menuItem_.iconPath = (fs::path(folder) / (menuItem_.key + ".png")).string();
            moveReplacing(iconPath_, menuItem_.iconPath);
        }
    }
    discardStaged();
    accept();
    if (addSuccessBlock) {
        addSuccessBlock(menuItem_);
    }
}

RCNewFileViewCtl::RCNewFileViewCtl(QWidget* parent)
    : ListPage(Parts{
                   .list = kTemplateListKey,
                   .load = [] { return manager().newFileTemplateMenuArray(true); },
                   .columns =
                       {
                           {ColumnKind::Name,
                            qt::text(formatText("%@ (%@, %@)",
                                                {localized("File Type"), localized("Drag Sort"),
                                                 localized("Double Click Edit")}))},
                           {ColumnKind::Text, label("Extension"),
                            [](const RCMenuItem& item) { return qt::text(extensionText(item)); }},
                           {ColumnKind::ToMainMenu, label("Add to main menu")},
                           {ColumnKind::Enable, label("Enable")},
                       },
                   .limit = 60,
                   .mainMenuCopy = mainMenuCopy,
                   .recover = [] { return RCDefaultData::recoverNewFile(); },
                   .deletable = [](const RCMenuItem& item) { return !item.isNewFileFromWindow(); },
               },
               parent) {
    openFileChecked_ = new QCheckBox(label("New File Finished Checked Tip"), this);
    connect(openFileChecked_, &QCheckBox::clicked, this, &RCNewFileViewCtl::onOpenFileCheck);
    topBar()->addWidget(openFileChecked_);
    topBar()->addStretch(1);
    refresh();
}

void RCNewFileViewCtl::refreshControls() {
    openFileChecked_->setChecked(manager().sharedDefaults().readBool("open new file"));
}

void RCNewFileViewCtl::onOpenFileCheck(bool on) {
    manager().sharedDefaults().set("open new file", Value(on));
}

RCAddFileWinCtl* RCNewFileViewCtl::newForm() {
    // A fresh form each time: its staged files and fields belong to this one add or edit.
    if (addFileWinCtl_ != nullptr) {
        addFileWinCtl_->deleteLater();
    }
    addFileWinCtl_ = new RCAddFileWinCtl(this);
    addFileWinCtl_->setWindowModality(Qt::WindowModal);
    return addFileWinCtl_;
}

void RCNewFileViewCtl::addEntry() {
    RCAddFileWinCtl* form = newForm();
    form->addSuccessBlock = [this](const RCMenuItem& item) {
        Dict entry = formFields(item);
        entry["key"] = Value(item.key);
        entry["icon"] = Value("file");
        appendEntry(entry);
    };
    form->open();
}

void RCNewFileViewCtl::editEntry(const RCMenuItem& item) {
    RCAddFileWinCtl* form = newForm();
    form->addSuccessBlock = [this, item](const RCMenuItem& edited) {
        updateEntry(item, formFields(edited));
    };
    form->editWithItem(item);
    form->open();
}

}  // namespace tf
