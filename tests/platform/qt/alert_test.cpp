#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QProxyStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/qt/qt_user_interface.h"
#include "platform/qt/windows_test_support.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

using test::buttonWithText;
using test::whenModal;

// An application style whose dialogs lay buttons out the way one desktop does.
class DesktopLayoutStyle : public QProxyStyle {
  public:
    explicit DesktopLayoutStyle(int layout) : layout_(layout) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_DialogButtonLayout) {
            return layout_;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

  private:
    int layout_;
};

// Button titles of the box from left to right as shown.
std::vector<QString> titlesLeftToRight(QMessageBox* box) {
    std::vector<QAbstractButton*> buttons;
    for (QAbstractButton* button : box->buttons()) {
        buttons.push_back(button);
    }
    std::sort(buttons.begin(), buttons.end(), [box](QAbstractButton* a, QAbstractButton* b) {
        return a->mapTo(box, QPoint()).x() < b->mapTo(box, QPoint()).x();
    });
    std::vector<QString> titles;
    for (QAbstractButton* button : buttons) {
        titles.push_back(button->text());
    }
    return titles;
}

class Alert : public test::SandboxTest {
  protected:
    QtUserInterface ui;
};

TEST_F(Alert, ButtonsStayInOrderOnEveryDesktopLayoutAndMapToTheirIndex) {
    const AlertRequest request{"Replace the item?",
                               "It cannot be undone.",
                               {"Stop", "Keep Both", "Replace"},
                               AlertStyle::Critical};
    for (const auto layout : {QDialogButtonBox::WinLayout, QDialogButtonBox::MacLayout,
                              QDialogButtonBox::KdeLayout, QDialogButtonBox::GnomeLayout}) {
        QApplication::setStyle(new DesktopLayoutStyle(layout));
        std::vector<QString> shown;
        QString defaultTitle;
        whenModal<QMessageBox>([&](QMessageBox* box) {
            shown = titlesLeftToRight(box);
            defaultTitle = box->defaultButton() ? box->defaultButton()->text() : QString();
            buttonWithText(box, "Keep Both")->click();
        });
        EXPECT_EQ(ui.runAlert(request), 1) << "layout " << layout;
        EXPECT_EQ(shown, (std::vector<QString>{"Stop", "Keep Both", "Replace"}))
            << "layout " << layout;
        EXPECT_EQ(defaultTitle, "Stop");
    }
    QApplication::setStyle(QStringLiteral("Fusion"));

    whenModal<QMessageBox>([](QMessageBox* box) { buttonWithText(box, "Replace")->click(); });
    EXPECT_EQ(ui.runAlert(request), 2);
    // Return presses the default button, the first one.
    whenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
    EXPECT_EQ(ui.runAlert(request), 0);
}

TEST_F(Alert, DismissingAnswersMinusOneUnlessThereIsASingleButton) {
    const AlertRequest two{"Message", "", {"Go", "Stop"}, AlertStyle::Warning};
    whenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(ui.runAlert(two), -1);
    whenModal<QMessageBox>([](QMessageBox* box) { box->close(); });
    EXPECT_EQ(ui.runAlert(two), -1);

    const AlertRequest one{"Message", "", {"Fine"}, AlertStyle::Warning};
    whenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(ui.runAlert(one), 0);
    whenModal<QMessageBox>([](QMessageBox* box) { box->close(); });
    EXPECT_EQ(ui.runAlert(one), 0);
}

TEST_F(Alert, NoButtonsGiveOneLocalizedOk) {
    std::vector<QString> titles;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        titles = titlesLeftToRight(box);
        box->buttons().front()->click();
    });
    EXPECT_EQ(ui.runAlert({"Done", "", {}, AlertStyle::Informational}), 0);
    EXPECT_EQ(titles, std::vector<QString>{QString::fromStdString(localized("OK"))});
}

TEST_F(Alert, ShowsTextsIconAndTitleAboveOtherWindows) {
    const std::pair<AlertStyle, QMessageBox::Icon> styles[] = {
        {AlertStyle::Warning, QMessageBox::Warning},
        {AlertStyle::Informational, QMessageBox::Information},
        {AlertStyle::Critical, QMessageBox::Critical}};
    for (const auto& [style, icon] : styles) {
        QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
        QString text, informative, title;
        Qt::TextFormat format = Qt::AutoText;
        bool onTop = false;
        whenModal<QMessageBox>([&](QMessageBox* box) {
            shownIcon = box->icon();
            text = box->text();
            format = box->textFormat();
            informative = box->informativeText();
            title = box->windowTitle();
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            box->buttons().front()->click();
        });
        // Markup in a file name must show as typed.
        ui.runAlert({"<b>a.txt</b>", "Details", {"OK"}, style});
        EXPECT_EQ(shownIcon, icon);
        EXPECT_EQ(text, "<b>a.txt</b>");
        EXPECT_EQ(format, Qt::PlainText);
        EXPECT_EQ(informative, "Details");
        EXPECT_EQ(title, QString::fromStdString(displayName()));
        EXPECT_TRUE(onTop);
    }
}

}  // namespace
}  // namespace tf
