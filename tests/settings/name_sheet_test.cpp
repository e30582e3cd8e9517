#include <QLineEdit>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <optional>

#include "platform/qt/windows_test_support.h"
#include "settings/name_sheet.h"
#include "support/sandbox.h"

namespace tf {
namespace {

TEST(NameSheet, JudgesLengthInFieldUnitsAndBlankOnlyWhenRequired) {
    struct Case {
        QString name;
        bool required;
        NameVerdict verdict;
    };
    const QString thirty(30, u'x');
    const Case cases[] = {
        {thirty, false, NameVerdict::Accept},
        {thirty + u'x', false, NameVerdict::TooLong},
        {thirty + u'x', true, NameVerdict::TooLong},
        {QString(), false, NameVerdict::Accept},
        {QString(), true, NameVerdict::Ignore},
        {QStringLiteral("  \n "), true, NameVerdict::Ignore},
        {QStringLiteral("(null)"), true, NameVerdict::Ignore},
        {QStringLiteral("(null)"), false, NameVerdict::Accept},
        // Fifteen characters outside the basic plane are thirty units: still accepted.
        {QString::fromUtf8("🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂"), false,
         NameVerdict::Accept},
        {QString::fromUtf8("🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂🙂a"), false,
         NameVerdict::TooLong},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(judgeName(c.name, c.required), c.verdict) << c.name.toStdString();
    }
}

class NameSheetWindow : public test::SandboxTest {
  protected:
    RCEditNameWinCtl sheet;
    std::optional<QString> edited;
    int cancelled = 0;

    void SetUp() override {
        test::SandboxTest::SetUp();
        sheet.editHandler = [this](const QString& name) { edited = name; };
        sheet.cancelHandler = [this] { ++cancelled; };
        sheet.openOnWindow(nullptr);
    }
};

TEST_F(NameSheetWindow, TooLongNameShowsTheMessageAndKeepsTheSheetOpen) {
    sheet.setDefaultAlias(QString(31, u'n'));
    bool alerted = false;
    test::whenModal<QMessageBox>([&](QMessageBox* box) {
        alerted = box->text().contains(QStringLiteral("30"));
        box->reject();
    });
    sheet.onSure();
    EXPECT_TRUE(alerted);
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_FALSE(edited);

    sheet.field()->setText(QString(30, u'n'));
    sheet.onSure();
    EXPECT_EQ(edited, QString(30, u'n'));
    EXPECT_FALSE(sheet.isVisible());
}

TEST_F(NameSheetWindow, EmptyNamePassesAsEmptyUnlessRequired) {
    sheet.setDefaultAlias(QStringLiteral("(null)"));
    EXPECT_TRUE(sheet.field()->text().isEmpty()) << "an unset default leaves the field empty";
    sheet.required = true;
    sheet.onSure();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_FALSE(edited);

    sheet.required = false;
    sheet.onSure();
    EXPECT_EQ(edited, QString());
    EXPECT_EQ(cancelled, 0);
}

TEST_F(NameSheetWindow, CancelCallsItsHandlerAndNotTheEditOne) {
    sheet.setDefaultAlias(QStringLiteral("Docs"));
    sheet.onCancel();
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(edited);
    EXPECT_FALSE(sheet.isVisible());
}

}  // namespace
}  // namespace tf
