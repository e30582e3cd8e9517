// The scripts page with its editor sheet, checked against the store and the menu the service
// builds.
#include <QCheckBox>
#include <QLineEdit>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "menu_probe.h"
#include "model/default_data.h"
#include "model/menu_manager.h"
#include "settings/general_page.h"
#include "settings/script_editor.h"
#include "settings/script_page.h"
#include "support/sandbox.h"

namespace tf {
namespace {

using Page = RCScriptViewCtl;

RCMenuManager& manager() {
    return RCMenuManager::sharedInstance();
}

std::optional<RCMenuItem> storedIn(const std::vector<RCMenuItem>& list, const std::string& key) {
    for (const RCMenuItem& item : list) {
        if (item.key == key) {
            return item;
        }
    }
    return std::nullopt;
}

class ScriptPage : public test::SandboxTest {
  protected:
    std::unique_ptr<Page> page;

    void SetUp() override {
        test::SandboxTest::SetUp();
        setRunningDeliverable(Deliverable::Host);
        ASSERT_TRUE(RCDefaultData::setup().ok);
        manager().sharedDefaults().set("is reviewed", Value(true));
        page = std::make_unique<Page>();
    }
    void TearDown() override {
        page.reset();
        test::SandboxTest::TearDown();
    }

    int rowOf(const std::string& key) const {
        const auto& data = page->tableData();
        const auto it = std::find_if(data.begin(), data.end(),
                                     [&](const RCMenuItem& item) { return item.key == key; });
        return it == data.end() ? -1 : static_cast<int>(it - data.begin());
    }
    RCAddEditScriptWinCtl* edit(const std::string& key) {
        page->table()->selectRow(rowOf(key));
        page->onEditName();
        EXPECT_NE(page->editor(), nullptr);
        EXPECT_TRUE(page->editor()->isVisible());
        return page->editor();
    }
    // Which of the selections offer the script `key`, in the submenu and on top level.
    struct Offered {
        bool inSubmenu;
        bool onTopLevel;
    };
    Offered offered(const std::string& key, const std::string& selected) const {
        const nlohmann::json menu = test::menuJson({selected});
        const auto top = test::keysOf(menu);
        const nlohmann::json* scripts = test::findEntry(menu, "Common Script");
        const bool inSubmenu = scripts != nullptr && scripts->contains("children") &&
                               test::findEntry((*scripts)["children"], key) != nullptr;
        return {inSubmenu, std::find(top.begin(), top.end(), key) != top.end()};
    }
};

TEST_F(ScriptPage, AddedScriptKeepsItsConditionsThroughEditing) {
    const std::string txt = files().write("notes.txt").string();
    const std::string png = files().write("photo.png").string();
    const std::string folder = files().mkdir("folder").string();
    const std::size_t before = manager().commonScriptMenuArray().size();

    page->onAdd();
    RCAddEditScriptWinCtl* sheet = page->editor();
    ASSERT_NE(sheet, nullptr);
    sheet->nameInput()->setText(QString(31, u'n'));
    sheet->contentTextView()->setPlainText(QStringLiteral("print(@rfname)"));
    sheet->setKind(ScriptKind::Python);
    sheet->fileCheck()->setChecked(true);
    sheet->formatInput()->setText(QString::fromUtf8("TXT，MD"));
    sheet->onSure();
    EXPECT_EQ(manager().commonScriptMenuArray().size(), before) << "31 characters are refused";
    sheet->nameInput()->setText(QString(30, u'n'));
    sheet->onSure();

    const std::vector<RCMenuItem> scripts = manager().commonScriptMenuArray();
    ASSERT_EQ(scripts.size(), before + 1);
    const RCMenuItem added = scripts.back();
    EXPECT_EQ(added.ext, "py");
    EXPECT_EQ(added.icon, "python");
    EXPECT_EQ(added.formats, (std::vector<std::string>{"txt", "md"}));
    EXPECT_TRUE(added.isNeedFile);
    EXPECT_FALSE(added.isNeedFolder);
    EXPECT_EQ(page->table()->item(rowOf(added.key), Page::TypeColumn)->text(),
              QStringLiteral("Python 3"));
    EXPECT_TRUE(offered(added.key, txt).inSubmenu);
    EXPECT_FALSE(offered(added.key, png).inSubmenu);
    EXPECT_FALSE(offered(added.key, folder).inSubmenu);

    // Editing opens it as it is stored; dropping the file condition drops the formats.
    sheet = edit(added.key);
    EXPECT_EQ(sheet->kind(), ScriptKind::Python);
    EXPECT_TRUE(sheet->fileCheck()->isChecked());
    EXPECT_EQ(sheet->formatInput()->text(), QStringLiteral("txt,md"));
    sheet->fileCheck()->setChecked(false);
    sheet->folderCheck()->setChecked(true);
    sheet->onSure();
    const RCMenuItem edited = *storedIn(manager().commonScriptMenuArray(), added.key);
    EXPECT_TRUE(edited.formats.empty());
    EXPECT_FALSE(edited.isNeedFile);
    EXPECT_TRUE(edited.isNeedFolder);
    EXPECT_EQ(edited.script, "print(@rfname)");
    EXPECT_FALSE(offered(added.key, txt).inSubmenu);
    EXPECT_TRUE(offered(added.key, folder).inSubmenu);
}

TEST_F(ScriptPage, TopLevelCopyFollowsTheScript) {
    const std::string txt = files().write("notes.txt").string();
    const std::string md = files().write("notes.md").string();
    const std::string key = manager().commonScriptMenuArray().front().key;

    page->onCheckToMainMenu(rowOf(key), true);
    ASSERT_TRUE(storedIn(manager().menuItemArray(), key));
    EXPECT_EQ(manager().menuItemArray().front().key, key) << "put at the top";
    EXPECT_TRUE(storedIn(manager().commonScriptMenuArray(), key)->isAddToMainMenu);
    EXPECT_TRUE(offered(key, txt).onTopLevel);
    // Its own on/off box stays usable: it governs the submenu entry.
    EXPECT_TRUE(
        page->table()->item(rowOf(key), Page::EnableColumn)->flags().testFlag(Qt::ItemIsEnabled));

    RCAddEditScriptWinCtl* sheet = edit(key);
    sheet->fileCheck()->setChecked(true);
    sheet->formatInput()->setText(QStringLiteral("MD"));
    sheet->nameInput()->setText(QStringLiteral("Only Markdown"));
    sheet->onSure();
    const RCMenuItem copy = *storedIn(manager().menuItemArray(), key);
    EXPECT_EQ(copy.formats, std::vector<std::string>{"md"});
    EXPECT_TRUE(copy.isNeedFile);
    EXPECT_EQ(copy.displayName, "Only Markdown");
    EXPECT_FALSE(offered(key, txt).onTopLevel);
    EXPECT_TRUE(offered(key, md).onTopLevel);

    page->onCheckToMainMenu(rowOf(key), false);
    EXPECT_FALSE(storedIn(manager().menuItemArray(), key));
    EXPECT_FALSE(offered(key, md).onTopLevel);
    EXPECT_TRUE(offered(key, md).inSubmenu);
}

TEST_F(ScriptPage, ConditionsGivenBeforeTheTopLevelTickCarryOver) {
    const std::string folder = files().mkdir("folder").string();
    const std::string txt = files().write("notes.txt").string();
    // The built-in "New folder based on file" needs a selected file.
    const auto scripts = manager().commonScriptMenuArray();
    const auto needsFile = std::find_if(scripts.begin(), scripts.end(), [](const RCMenuItem& s) {
        return s.isNeedFile && !s.isNeedFolder;
    });
    ASSERT_NE(needsFile, scripts.end());
    page->onCheckToMainMenu(rowOf(needsFile->key), true);
    EXPECT_TRUE(offered(needsFile->key, txt).onTopLevel);
    EXPECT_FALSE(offered(needsFile->key, folder).onTopLevel);
}

}  // namespace
}  // namespace tf
