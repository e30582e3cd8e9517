// The script editor sheet: its checks and their order, what it stores, and the placeholder
// help measured against the expander the menu service runs.
#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "commands/scripts/placeholders.h"
#include "platform/qt/qt_edge.h"
#include "settings/script_editor.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

class ScriptEditor : public test::SandboxTest {
  protected:
    RCAddEditScriptWinCtl sheet;
    std::optional<Dict> returned;

    void SetUp() override {
        test::SandboxTest::SetUp();
        sheet.addEditSuccessBlock = [this](const Dict& script) { returned = script; };
        sheet.openOnWindow(nullptr);
    }
    void fill(const QString& name, const QString& content) {
        sheet.nameInput()->setText(name);
        sheet.contentTextView()->setPlainText(content);
    }
};

TEST_F(ScriptEditor, ChecksRunInOrderAndKeepTheSheetOpen) {
    struct Case {
        QString name;
        QString content;
        const char* message;  // nullptr: accepted
    };
    const QString thirty(30, u'n');
    const Case cases[] = {
        {QString(), QString(), "Please enter a script name"},
        {QStringLiteral("  "), QStringLiteral("echo"), "Please enter a script name"},
        {thirty + u'n', QString(), "Please enter the script content"},
        {thirty + u'n', QStringLiteral("echo"), "The name cannot exceed 30 characters"},
        {thirty, QStringLiteral("echo"), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString() + " / " + c.content.toStdString());
        returned.reset();
        sheet.openOnWindow(nullptr);
        fill(c.name, c.content);
        sheet.onSure();
        if (c.message != nullptr) {
            EXPECT_EQ(sheet.hudText(), qt::text(localized(c.message)));
            EXPECT_TRUE(sheet.isVisible());
            EXPECT_FALSE(returned);
        } else {
            EXPECT_TRUE(sheet.hudText().isEmpty());
            EXPECT_FALSE(sheet.isVisible());
            ASSERT_TRUE(returned);
            EXPECT_EQ(dictString(*returned, "displayName"), thirty.toStdString());
        }
    }
}

TEST(ScriptFormats, AreStoredLowerCaseWithPlainCommas) {
    const std::pair<const char*, const char*> cases[] = {
        {"TXT，Md", "txt,md"},
        {"JPG, png ，, Gif", "jpg,png,gif"},
        {"", ""},
        {" ， ", ""},
    };
    for (const auto& [typed, stored] : cases) {
        EXPECT_EQ(storedFormats(QString::fromUtf8(typed)), stored) << typed;
    }
}

// Every example the help gives is what the menu service inserts for that file.
TEST_F(ScriptEditor, HelpShowsWhatThePlaceholdersExpandTo) {
    sheet.onHelpAction();
    ASSERT_NE(sheet.helpViewCtl(), nullptr);
    EXPECT_TRUE(sheet.helpViewCtl()->isVisible());
    const QString help = sheet.helpViewCtl()->content();
    EXPECT_EQ(help, qt::text(localized("Script Content Tip")));

    const QRegularExpression line(QStringLiteral("^(@r[a-z]+) .*e\\.g\\. (.+)$"),
                                  QRegularExpression::MultilineOption);
    std::map<std::string, std::string> examples;
    for (auto it = line.globalMatch(help); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        examples[qt::text(m.captured(1))] = qt::text(m.captured(2));
    }
    ASSERT_EQ(examples.size(), 5u) << help.toStdString();
    const std::string path = examples["@rpath"];
    for (const auto& [name, value] : examples) {
        SCOPED_TRACE(name);
        EXPECT_EQ(expandScriptPlaceholders("echo " + name, path, ScriptLanguage::Shell),
                  "echo '" + value + "'");
        EXPECT_EQ(expandScriptPlaceholders("print(" + name + ")", path, ScriptLanguage::Python),
                  "print('" + value + "')");
    }
}

}  // namespace
}  // namespace tf
