#include "platform/qt/save_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <algorithm>
#include <optional>

#include "platform/qt/folder_dialog.h"
#include "platform/qt/qt_edge.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {
namespace {

bool containsIgnoringCase(const std::vector<std::string>& list, const std::string& value) {
    const std::string lowered = toLower(value);
    return std::any_of(list.begin(), list.end(),
                       [&](const std::string& item) { return toLower(item) == lowered; });
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool isUsableName(const QString& name) {
    return !name.trimmed().isEmpty() && !name.contains(u'/') && name != u"." && name != u"..";
}

}  // namespace

std::string typeListExtension(const std::string& entry) {
    const std::string trimmed = trim(entry);
    if (endsWith(trimmed, ")")) {
        const std::size_t open = trimmed.rfind("(.");
        if (open != std::string::npos) {
            const std::string ext = trimmed.substr(open + 2, trimmed.size() - open - 3);
            if (!ext.empty() && ext.find_first_of(" ()/") == std::string::npos) {
                return ext;
            }
        }
        return {};
    }
    const bool bare = !trimmed.empty() && trimmed.find_first_of(" ()/.") == std::string::npos;
    return bare ? trimmed : std::string();
}

std::vector<std::string> allowedTypesFor(const SaveRequest& request, int typeIndex) {
    const auto& list = request.typeList;
    if (list.empty()) {
        return request.allowedTypes;
    }
    if (typeIndex < 0 || static_cast<std::size_t>(typeIndex) >= list.size()) {
        return {};
    }
    const auto index = static_cast<std::size_t>(typeIndex);
    if (std::string ext = typeListExtension(list[index]); !ext.empty()) {
        return {ext};
    }
    if (request.allowedTypes.size() == list.size()) {
        return {request.allowedTypes[index]};
    }
    // The request's allowed types describe the type it selected first.
    return typeIndex == request.selectedType ? request.allowedTypes : std::vector<std::string>{};
}

std::string nameWithAllowedType(const std::string& name, const std::vector<std::string>& allowed) {
    if (allowed.empty() || containsIgnoringCase(allowed, pathExtension(name))) {
        return name;
    }
    return name + "." + allowed.front();
}

std::string nameForType(const std::string& name, const std::string& ext,
                        const std::vector<std::string>& known) {
    if (ext.empty() || name.empty()) {
        return name;
    }
    const std::string current = pathExtension(name);
    if (!current.empty() && containsIgnoringCase(known, current)) {
        return deletingPathExtension(name) + "." + ext;
    }
    return nameWithAllowedType(name, {ext});
}

SavePanel::SavePanel(const SaveRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
    setWindowTitle(request.title.empty() ? qt::windowTitle() : qt::text(request.title));
    auto* layout = new QVBoxLayout(this);

    if (!request.message.empty()) {
        auto* message = new QLabel(qt::text(request.message), this);
        message->setObjectName(QStringLiteral("message"));
        message->setWordWrap(true);
        message->setTextFormat(Qt::PlainText);
        layout->addWidget(message);
    }

    auto* form = new QFormLayout();
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("nameField"));
    name_->setMinimumWidth(320);
    form->addRow(qt::text(localized("Save Panel Name")), name_);

    auto* folderRow = new QHBoxLayout();
    folder_ = new QLineEdit(this);
    folder_->setObjectName(QStringLiteral("folderField"));
    auto* browse = new QPushButton(qt::text(localized("Select Folder")), this);
    browse->setObjectName(QStringLiteral("folderButton"));
    browse->setAutoDefault(false);
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browse);
    form->addRow(qt::text(localized("Save Panel Folder")), folderRow);

    addAccessoryRows(form);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(this);
    save_ =
        buttons->addButton(qt::text(localized("Save Panel Save")), QDialogButtonBox::AcceptRole);
    save_->setObjectName(QStringLiteral("saveButton"));
    save_->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(qt::text(localized("Cancel")), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    layout->addWidget(buttons);

    const std::string initialName =
        request.name.empty()
            ? std::string()
            : nameWithAllowedType(request.name, allowedTypesFor(request_, typeIndex()));
    name_->setText(qt::text(initialName));
    // Typing replaces the name but keeps the extension, as the user expects from a save panel.
    name_->setSelection(0, static_cast<int>(qt::text(deletingPathExtension(initialName)).size()));
    name_->setFocus();
    folder_->setText(qt::pathText(request.folder.empty() ? homeFolder() : request.folder));

    connect(buttons, &QDialogButtonBox::accepted, this, &SavePanel::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SavePanel::reject);
    connect(browse, &QPushButton::clicked, this, [this] { chooseFolder(); });
    connect(name_, &QLineEdit::textChanged, this, [this] { updateSaveButton(); });
    connect(folder_, &QLineEdit::textChanged, this, [this] { updateSaveButton(); });
    if (types_ != nullptr) {
        connect(types_, &QComboBox::currentIndexChanged, this,
                [this](int index) { typeChosen(index); });
    }
    updateSaveButton();
}

// In the same form as name and folder, so every label lines up.
void SavePanel::addAccessoryRows(QFormLayout* form) {
    const bool hasAccessory = !request_.passwordLabel.empty() || !request_.checkBoxTitle.empty() ||
                              !request_.typeList.empty();
    if (hasAccessory) {
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        form->addRow(line);
    }
    if (!request_.passwordLabel.empty()) {
        password_ = new QLineEdit(this);
        password_->setObjectName(QStringLiteral("passwordField"));
        password_->setEchoMode(QLineEdit::Password);
        password_->setPlaceholderText(qt::text(request_.passwordPlaceholder));
        form->addRow(qt::text(request_.passwordLabel), password_);
    }
    if (!request_.checkBoxTitle.empty()) {
        checkBox_ = new QCheckBox(qt::text(request_.checkBoxTitle), this);
        checkBox_->setObjectName(QStringLiteral("checkBox"));
        checkBox_->setChecked(request_.checkBoxState);
        form->addRow(QString(), checkBox_);
    }
    if (!request_.typeList.empty()) {
        types_ = new QComboBox(this);
        types_->setObjectName(QStringLiteral("typeList"));
        for (const std::string& type : request_.typeList) {
            types_->addItem(qt::text(type));
        }
        const int count = types_->count();
        const bool valid = request_.selectedType >= 0 && request_.selectedType < count;
        types_->setCurrentIndex(valid ? request_.selectedType : 0);
        form->addRow(qt::text(localized("Save Panel Type")), types_);
    }
}

int SavePanel::typeIndex() const {
    if (types_ != nullptr) {
        return types_->currentIndex();
    }
    if (request_.typeList.empty()) {
        return -1;
    }
    const auto count = static_cast<int>(request_.typeList.size());
    return request_.selectedType >= 0 && request_.selectedType < count ? request_.selectedType : 0;
}

std::string SavePanel::folderBytes() const {
    const std::string known = request_.folder.empty() ? homeFolder() : request_.folder;
    return qt::pathBytes(folder_->text(), known);
}

SaveAnswer SavePanel::answer() const {
    SaveAnswer answer;
    answer.path = savedPath_;
    answer.password = password_ != nullptr ? qt::text(password_->text()) : std::string();
    answer.checked = checkBox_ != nullptr ? checkBox_->isChecked() : request_.checkBoxState;
    answer.typeIndex = typeIndex();
    return answer;
}

void SavePanel::chooseFolder() {
    FolderRequest request;
    request.startFolder = folderBytes();
    request.prompt = localized("OK");
    if (std::optional<std::string> chosen = runFolderDialog(request, this)) {
        folder_->setText(qt::pathText(*chosen));
    }
}

void SavePanel::typeChosen(int index) {
    std::vector<std::string> known = request_.allowedTypes;
    for (std::size_t i = 0; i < request_.typeList.size(); ++i) {
        for (std::string& ext : allowedTypesFor(request_, static_cast<int>(i))) {
            known.push_back(std::move(ext));
        }
    }
    const std::vector<std::string> allowed = allowedTypesFor(request_, index);
    if (allowed.empty()) {
        return;
    }
    const std::string name = qt::text(name_->text());
    name_->setText(qt::text(nameForType(name, allowed.front(), known)));
}

void SavePanel::updateSaveButton() {
    save_->setEnabled(isUsableName(name_->text()) && isDirectory(folderBytes()));
}

bool SavePanel::confirmReplace(const std::string& name) {
    QMessageBox box(QMessageBox::Warning, qt::windowTitle(),
                    qt::text(localizedFormat("Same FileName Tip", {name})), QMessageBox::NoButton,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(qt::text(localized("Save Panel Replace Tip")));
    QPushButton* cancel = box.addButton(qt::text(localized("Cancel")), QMessageBox::RejectRole);
    QPushButton* replace = box.addButton(qt::text(localized("Replace")), QMessageBox::AcceptRole);
    // Replacing destroys the old item, so only a deliberate click does it.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    qt::bringToFront(&box);
    box.exec();
    return box.clickedButton() == replace;
}

void SavePanel::accept() {
    if (!save_->isEnabled()) {
        return;
    }
    const std::string typed = qt::pathBytes(name_->text());
    const std::string name = nameWithAllowedType(typed, allowedTypesFor(request_, typeIndex()));
    if (name != typed) {
        name_->setText(qt::pathText(name));
    }
    const std::string folder = folderBytes();
    const std::string path = childPath(folder, name);
    if (exists(path) && !confirmReplace(qt::text(qt::pathText(name)))) {
        return;
    }
    savedPath_ = path;
    QDialog::accept();
}

}  // namespace tf
