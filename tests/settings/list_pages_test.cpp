#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "cli/sync_cli.h"
#include "model/default_data.h"
#include "model/menu_manager.h"
#include "model/product.h"
#include "platform/desktop_entries.h"
#include "platform/qt/windows_test_support.h"
#include "settings/file_chooser.h"
#include "settings/general_page.h"
#include "settings/name_sheet.h"
#include "settings/new_file_page.h"
#include "settings/open_with_page.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using Kind = ListPage::ColumnKind;

RCMenuManager& manager() {
    return RCMenuManager::sharedInstance();
}

// Runs the menu service's command line as the file managers' side does.
test::CliResult sync(const std::vector<std::string>& args) {
    setRunningDeliverable(Deliverable::Extension);
    const test::CliResult r = test::runCli(&runSyncCommand, args);
    setRunningDeliverable(Deliverable::Host);
    EXPECT_EQ(r.status, 0) << r.err;
    return r;
}

// The menu for the folder shown (nothing selected), or for a selected item.
json menuIn(const fs::path& folder) {
    return json::parse(sync({"menu", "--json", "--target", folder.string()}).out);
}
json menuFor(const fs::path& selected) {
    return json::parse(sync({"menu", "--json", selected.string()}).out);
}

const json* findKey(const json& menu, const std::string& key) {
    for (const json& node : menu) {
        if (node.value("key", "") == key) {
            return &node;
        }
        if (node.contains("children")) {
            if (const json* found = findKey(node["children"], key)) {
                return found;
            }
        }
    }
    return nullptr;
}

bool onTopLevel(const json& menu, const std::string& key) {
    for (const json& node : menu) {
        if (node.value("key", "") == key) {
            return true;
        }
    }
    return false;
}

std::optional<RCMenuItem> storedIn(const std::vector<RCMenuItem>& items, const std::string& key) {
    for (const RCMenuItem& item : items) {
        if (item.key == key) {
            return item;
        }
    }
    return std::nullopt;
}

// True when `act` showed a message (which is then dismissed).
bool showsMessage(const std::function<void()>& act) {
    bool told = false;
    test::whenModal<QMessageBox>([&](QMessageBox* box) {
        told = true;
        box->accept();
    });
    act();
    return told;
}

bool folderEmpty(const fs::path& folder) {
    return !fs::exists(folder) || fs::is_empty(folder);
}

class ListPages : public test::SandboxTest {
  protected:
    QString chosen;

    void SetUp() override {
        test::SandboxTest::SetUp();
        setRunningDeliverable(Deliverable::Host);
        RCDefaultData::setup();
        fileChooser() = [this](QWidget*, FileKind) { return chosen; };
    }
    void TearDown() override {
        fileChooser() = nullptr;
        test::SandboxTest::TearDown();
    }

    static void select(ListPage& page, const std::string& key) {
        const auto& data = page.tableData();
        for (std::size_t row = 0; row < data.size(); ++row) {
            if (data[row].key == key) {
                page.table()->selectRow(static_cast<int>(row));
                return;
            }
        }
        ADD_FAILURE() << key << " is not listed";
    }
    static int rowOf(ListPage& page, const std::string& key) {
        select(page, key);
        return page.table()->currentRow();
    }
    static Qt::ItemFlags flagsAt(ListPage& page, int row, Kind kind) {
        return page.table()->item(row, page.columnOf(kind))->flags();
    }
    static bool tickedAt(ListPage& page, int row, Kind kind) {
        return page.table()->item(row, page.columnOf(kind))->checkState() == Qt::Checked;
    }
    // The table holds one row per stored entry, in list order.
    static void expectRowsMatch(ListPage& page, const std::vector<RCMenuItem>& stored) {
        ASSERT_EQ(page.table()->rowCount(), static_cast<int>(stored.size()));
        for (std::size_t i = 0; i < stored.size(); ++i) {
            EXPECT_EQ(page.tableData()[i].key, stored[i].key);
        }
    }
};

// ---- the template form ------------------------------------------------------------------

TEST(AddFileForm, ConfirmsOnlyACompleteForm) {
    struct Case {
        bool special;
        const char* type;
        const char* fileName;
        const char* ext;
        const char* defaultName;
        bool complete;
    };
    const Case cases[] = {
        {true, "Env", ".env", "", "", true},      {true, "Dots", "..", "", "", false},
        {true, "Dot", ".", "", "", false},        {true, "Dots", " ... ", "", "", false},
        {true, "", ".env", "", "", false},        {true, "Env", "", "", "", false},
        {true, "Odd", "..x", "", "", true},       {false, "MD", "", "md", "Untitled", true},
        {false, "MD", "", "", "Untitled", false}, {false, "MD", "", "md", "", false},
        {false, "", "", "md", "Untitled", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fileName) + "|" + c.type + "|" + c.ext);
        EXPECT_EQ(addFileFormComplete(c.special, c.type, c.fileName, c.ext, c.defaultName),
                  c.complete);
        // The form's own OK button follows the same rule as its fields are typed.
        RCAddFileWinCtl form;
        form.specialFileCheck()->setChecked(c.special);
        form.inputFileType()->setText(QString::fromUtf8(c.type));
        form.inputFileName()->setText(QString::fromUtf8(c.fileName));
        form.inputExtension()->setText(QString::fromUtf8(c.ext));
        form.inputDisplayName()->setText(QString::fromUtf8(c.defaultName));
        EXPECT_EQ(form.sureButton()->isEnabled(), c.complete);
    }
}

// ---- new-file templates page -------------------------------------------------------------

class NewFilePage : public ListPages {
  protected:
    std::unique_ptr<RCNewFileViewCtl> page;
    fs::path cache;
    fs::path templates;

    void SetUp() override {
        ListPages::SetUp();
        page = std::make_unique<RCNewFileViewCtl>();
        cache = manager().cacheFolder();
        templates = manager().fileTemplateFolder();
    }
    void TearDown() override {
        page.reset();
        ListPages::TearDown();
    }
    std::vector<RCMenuItem> stored() { return manager().newFileTemplateMenuArray(true); }
    // Adds a template from a chosen file through the form; returns its key.
    std::string addFrom(const fs::path& file) {
        chosen = QString::fromStdString(file.string());
        page->onAdd();
        RCAddFileWinCtl* form = page->addFileWindow();
        EXPECT_NE(form, nullptr);
        form->onSelectTemplate();
        const std::string key = form->menuItem().key;
        form->onSure();
        return key;
    }
};

TEST_F(NewFilePage, ExtensionColumnShowsTheExtensionOrWhatStandsForIt) {
    manager().addMenuKey(kTemplateListKey, Dict{{"key", Value("Makefile")}}, false);
    manager().addMenuKey(
        kTemplateListKey,
        Dict{{"key", Value("env")}, {"fileName", Value(".env")}, {"special", Value(true)}}, false);
    page->refresh();
    const int column = page->columnOf(Kind::Text);
    const auto shown = [&](const std::string& key) {
        return page->table()->item(rowOf(*page, key), column)->text().toStdString();
    };
    EXPECT_EQ(shown("Makefile"), ".Makefile");
    EXPECT_EQ(shown("env"), localized("Special File"));
    EXPECT_EQ(shown("txt"), ".txt");
    EXPECT_EQ(shown("New File From Window"), "");
    select(*page, "New File From Window");
    EXPECT_FALSE(page->deleteButton()->isEnabled()) << "the window entry cannot be removed";
}

TEST_F(NewFilePage, AChosenFileBecomesATemplateMovedOutOfTheCacheOnOk) {
    const fs::path notes = files().write("notes.md", "# notes\n");
    chosen = QString::fromStdString(notes.string());
    page->onAdd();
    RCAddFileWinCtl* form = page->addFileWindow();
    ASSERT_NE(form, nullptr);
    form->inputFileType()->clear();
    form->onSelectTemplate();
    EXPECT_EQ(form->inputFileType()->text(), "MD");
    EXPECT_EQ(form->inputExtension()->text(), "md");
    EXPECT_EQ(test::readFile(form->stagedTemplate()), "# notes\n");
    EXPECT_TRUE(fs::path(form->stagedTemplate()).parent_path() == cache);
    const std::string key = form->menuItem().key;
    form->onSure();

    const auto entry = storedIn(stored(), key);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->displayName, "MD");
    EXPECT_EQ(entry->ext, "md");
    EXPECT_EQ(entry->icon, "file");
    EXPECT_EQ(test::readFile(entry->templatePath), "# notes\n");
    EXPECT_TRUE(fs::path(entry->templatePath).parent_path() == templates);
    EXPECT_TRUE(folderEmpty(cache));
    EXPECT_EQ(page->tableData().back().key, key) << "added at the end";

    const json menu = menuIn(files().path());
    const json* shown = findKey(menu, key);
    ASSERT_NE(shown, nullptr) << "the new template is offered in the menu";
    EXPECT_EQ((*shown)["title"], "MD");
}

TEST_F(NewFilePage, CancellingLeavesNothingBehind) {
    const fs::path picture = files().path() / "logo.png";
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(picture.string())));
    const std::vector<RCMenuItem> before = stored();
    const std::vector<std::function<void(RCAddFileWinCtl*)>> endings = {
        [](RCAddFileWinCtl* form) { form->onCancel(); },
        [](RCAddFileWinCtl* form) { form->reject(); },  // title bar, Escape
    };
    for (const auto& end : endings) {
        page->onAdd();
        RCAddFileWinCtl* form = page->addFileWindow();
        chosen = QString::fromStdString(files().write("a.txt", "a").string());
        form->onSelectTemplate();
        chosen = QString::fromStdString(picture.string());
        form->onSelectIcon();
        ASSERT_TRUE(fs::is_regular_file(form->stagedIcon()));
        EXPECT_EQ(QImage(QString::fromStdString(form->stagedIcon())).size(), QSize(60, 60));
        end(form);
        EXPECT_TRUE(folderEmpty(cache));
        EXPECT_TRUE(folderEmpty(templates));
        expectRowsMatch(*page, before);
    }
}

TEST_F(NewFilePage, EditingReplacesTheTemplateFileWithTheNewChoice) {
    const std::string key = addFrom(files().write("first.txt", "first"));
    select(*page, key);
    page->onEditName();
    RCAddFileWinCtl* form = page->addFileWindow();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->inputFileType()->text(), "TXT");
    chosen = QString::fromStdString(files().write("second.txt", "second").string());
    form->onSelectTemplate();
    form->onSure();
    const auto entry = storedIn(stored(), key);
    ASSERT_TRUE(entry);
    EXPECT_EQ(test::readFile(entry->templatePath), "second");
    EXPECT_TRUE(folderEmpty(cache));
}

TEST_F(NewFilePage, TopLevelCopyFollowsTheTemplateAndRemovalKeepsItOn) {
    const std::string key = addFrom(files().write("readme.txt", "hello"));
    const auto check = [&](const char* what, bool onTop, const std::string& title) {
        SCOPED_TRACE(what);
        const std::vector<RCMenuItem> main = manager().menuItemArray();
        const auto copy = storedIn(main, key);
        const auto entry = storedIn(stored(), key);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->isAddToMainMenu, onTop);
        EXPECT_FALSE(entry->disabled);
        EXPECT_EQ(copy.has_value(), onTop);
        if (onTop) {
            EXPECT_EQ(main.front().key, key) << "the copy goes to the top";
            EXPECT_TRUE(copy->isMainMenuNewFile);
            EXPECT_EQ(copy->displayName, title);
            EXPECT_EQ(copy->templatePath, entry->templatePath);
        }
        const int row = rowOf(*page, key);
        EXPECT_TRUE(tickedAt(*page, row, Kind::Enable));
        EXPECT_EQ(flagsAt(*page, row, Kind::Enable).testFlag(Qt::ItemIsEnabled), !onTop);
        const json menu = menuIn(files().path());
        EXPECT_EQ(onTopLevel(menu, key), onTop);
        const json* shown = findKey(menu, key);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ((*shown)["title"], title);
    };
    check("added", false, "TXT");
    page->table()
        ->item(rowOf(*page, key), page->columnOf(Kind::ToMainMenu))
        ->setCheckState(Qt::Checked);
    ASSERT_TRUE(
        test::waitFor([&] { return storedIn(manager().menuItemArray(), key).has_value(); }));
    check("put on top level", true, "TXT");

    select(*page, key);
    page->onEditName();
    page->addFileWindow()->inputFileType()->setText(QStringLiteral("Readme"));
    page->addFileWindow()->onSure();
    check("renamed through the form", true, "Readme");

    page->onCheckToMainMenu(rowOf(*page, key), false);
    check("taken off top level", false, "Readme");
}

TEST_F(NewFilePage, RemovingAndRestoring) {
    const std::string key = addFrom(files().write("x.txt", "x"));
    page->onCheckToMainMenu(rowOf(*page, key), true);
    const std::string templatePath = storedIn(stored(), key)->templatePath;
    select(*page, key);
    page->onDelete();
    EXPECT_FALSE(storedIn(stored(), key));
    EXPECT_FALSE(storedIn(manager().menuItemArray(), key)) << "its top-level copy goes too";
    EXPECT_FALSE(fs::exists(templatePath));

    const std::string kept = addFrom(files().write("y.txt", "y"));
    page->onCheckToMainMenu(rowOf(*page, kept), true);
    page->onCheckMenu(rowOf(*page, "txt"), false);
    test::whenModal<QMessageBox>(
        [](QMessageBox* box) { test::buttonWithText(box, QStringLiteral("OK"))->click(); });
    page->onRecover();
    std::vector<std::string> keys;
    for (const RCMenuItem& item : stored()) {
        keys.push_back(item.key);
    }
    std::vector<std::string> defaults;
    for (const Value& entry : RCDefaultData::defaultNewFileMenu()) {
        defaults.push_back(*entry.dict()->at("key").string());
    }
    EXPECT_EQ(keys, defaults);
    EXPECT_FALSE(storedIn(manager().menuItemArray(), kept));
    EXPECT_FALSE(storedIn(stored(), "txt")->disabled);
    expectRowsMatch(*page, stored());
}

TEST_F(NewFilePage, AddingStopsAtTheLimitWithAMessage) {
    manager().sharedDefaults().update([](Dict& settings) {
        Array list;
        for (int i = 0; i < 60; ++i) {
            list.emplace_back(Dict{{"key", Value("t" + std::to_string(i))}});
        }
        settings[std::string(kTemplateListKey)] = Value(list);
    });
    EXPECT_TRUE(showsMessage([&] { page->onAdd(); }));
    EXPECT_EQ(page->addFileWindow(), nullptr);

    manager().removeMenuKey(kTemplateListKey, "t0");
    page->onAdd();
    ASSERT_NE(page->addFileWindow(), nullptr) << "59 entries leave room for one more";
    page->addFileWindow()->onCancel();
}

// ---- open-with applications page ---------------------------------------------------------

class OpenWithPage : public ListPages {
  protected:
    std::unique_ptr<RCOpenWithViewCtl> page;

    void SetUp() override {
        ListPages::SetUp();
        page = std::make_unique<RCOpenWithViewCtl>();
    }
    void TearDown() override {
        page.reset();
        ListPages::TearDown();
    }
    std::vector<RCMenuItem> stored() { return manager().commonAppMenuArray(); }
    // An installed application whose desktop entry runs `exec`.
    void install(const std::string& id, const std::string& name, const std::string& exec) {
        const fs::path desktop = home() / ".local/share/applications" / id;
        fs::create_directories(desktop.parent_path());
        std::ofstream(desktop) << "[Desktop Entry]\nType=Application\nName=" << name
                               << "\nExec=" << exec << "\n";
    }
    // Runs "Add…" and lets `pick` drive the chooser; returns the key added, or "".
    std::string add(const std::function<void(RCAppChooser*)>& pick) {
        const std::vector<RCMenuItem> before = stored();
        test::whenModal<RCAppChooser>(pick);
        page->onAdd();
        const std::vector<RCMenuItem> after = stored();
        return after.size() == before.size() + 1 ? after.back().key : std::string();
    }
};

TEST_F(OpenWithPage, AnInstalledApplicationIsOfferedAndOpensTheSelection) {
    // Records what it was asked to open, next to it.
    install("org.example.Marker.desktop", "Marker", "sh -c 'touch \"$0.opened\"' %f");
    install("org.example.MarkerHelper.desktop", "Marker Helper", "true\nNoDisplay=true");
    const std::string key = add([](RCAppChooser* chooser) {
        chooser->searchField()->setText(QStringLiteral("mark"));
        int shown = 0;
        for (int row = 0; row < chooser->list()->count(); ++row) {
            shown += chooser->list()->item(row)->isHidden() ? 0 : 1;
        }
        EXPECT_EQ(shown, 1) << "the one match; helpers that hide from lists stay out";
        chooser->onSure();
    });
    ASSERT_FALSE(key.empty());
    const auto entry = storedIn(stored(), key);
    EXPECT_EQ(entry->appName, "org.example.Marker.desktop");
    EXPECT_EQ(entry->displayName, "Marker");
    EXPECT_EQ(fs::path(entry->iconPath), fs::path(manager().appIconFolder()) / "Marker.png");

    const fs::path document = files().write("doc.txt", "text");
    const json menu = menuFor(document);
    const json* shown = findKey(menu, key);
    ASSERT_NE(shown, nullptr) << "offered under Open With";
    sync({"run", "--tag", std::to_string((*shown)["tag"].get<int>()), document.string()});
    EXPECT_TRUE(test::waitFor([&] { return fs::exists(document.string() + ".opened"); }));
}

TEST_F(OpenWithPage, AProgramChosenThroughOtherStartsWithThePathsLiterally) {
    const fs::path program = files().write("odd \"name\" $HOME %f `x` \\.sh", "#!/bin/sh\n");
    fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add);
    chosen = QString::fromStdString(program.string());
    const std::string key = add([](RCAppChooser* chooser) { chooser->onOther(); });
    ASSERT_FALSE(key.empty());
    const auto entry = storedIn(stored(), key);
    const auto desktop = readDesktopEntry(entry->appName);
    ASSERT_TRUE(desktop);
    EXPECT_TRUE(isLaunchable(*desktop));
    EXPECT_EQ(entry->displayName, program.filename().string());
    const std::vector<std::vector<std::string>> argv = expandExec(*desktop, {"/a b", "/c"});
    const std::vector<std::vector<std::string>> expected = {{program.string(), "/a b", "/c"}};
    EXPECT_EQ(argv, expected);

    select(*page, key);
    page->onDelete();
    EXPECT_FALSE(fs::exists(entry->appName)) << "its own desktop entry goes with it";

    // Neither a desktop entry nor a program: refused with a message, nothing stored.
    chosen = QString::fromStdString(files().write("plain.txt", "x").string());
    bool told = false;
    const std::string none = add([&](RCAppChooser* chooser) {
        test::whenModal<QMessageBox>(
            [&](QMessageBox* box) {
                told = true;
                box->accept();
                chooser->reject();
            },
            chooser);
        chooser->onOther();
    });
    EXPECT_TRUE(told);
    EXPECT_TRUE(none.empty());
}

TEST_F(OpenWithPage, EveryActionLeavesTableStoreAndMenuAgreeing) {
    install("viewer.desktop", "Viewer", "true %f");
    page->addApplication({"viewer.desktop", "Viewer", {}});
    page->moveEntry(page->table()->rowCount() - 1, 0);
    const std::string key = stored().front().key;
    ASSERT_EQ(storedIn(stored(), key)->appName, "viewer.desktop");
    struct Step {
        const char* what;
        std::function<void()> act;
        std::function<void()> check;
    };
    const std::vector<Step> steps = {
        {"put on top level", [&] { page->onCheckToMainMenu(0, true); },
         [&] {
             EXPECT_TRUE(onTopLevel(menuIn(files().path()), key));
             EXPECT_FALSE(flagsAt(*page, 0, Kind::Enable).testFlag(Qt::ItemIsEnabled));
         }},
        {"rename updates both copies",
         [&] {
             select(*page, key);
             page->onEditName();
             page->nameSheet()->field()->setText(QStringLiteral("Editor"));
             page->nameSheet()->onSure();
         },
         [&] {
             EXPECT_EQ(storedIn(stored(), key)->displayName, "Editor");
             EXPECT_EQ(storedIn(manager().menuItemArray(), key)->displayName, "Editor");
         }},
        {"drag it below the second", [&] { page->moveEntry(0, 2); },
         [&] { EXPECT_EQ(stored()[1].key, key); }},
        {"switch it off", [&] { page->onCheckMenu(1, false); },
         [&] { EXPECT_TRUE(storedIn(stored(), key)->disabled); }},
        {"remove it and its top-level copy",
         [&] {
             select(*page, key);
             page->onDelete();
         },
         [&] {
             EXPECT_FALSE(storedIn(stored(), key));
             EXPECT_FALSE(onTopLevel(menuIn(files().path()), key));
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        step.check();
        expectRowsMatch(*page, stored());
    }
}

TEST_F(OpenWithPage, AnEntryWithoutANameShowsItsApplicationAndTheListStopsAtFifty) {
    manager().sharedDefaults().update([](Dict& settings) {
        Array list;
        for (int i = 0; i < 50; ++i) {
            list.emplace_back(Dict{{"key", Value("k" + std::to_string(i))},
                                   {"appName", Value("app" + std::to_string(i) + ".desktop")}});
        }
        settings[std::string(kAppListKey)] = Value(list);
    });
    page->refresh();
    EXPECT_EQ(page->table()->item(0, page->columnOf(Kind::Name))->text(), "app0.desktop");
    EXPECT_TRUE(showsMessage([&] { page->onAdd(); }));
}

}  // namespace
}  // namespace tf
