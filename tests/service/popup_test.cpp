// The pop-up menu on a shortcut against the built service on a private bus: what it lists,
// where it gets the selection from, and that a chosen entry runs there.
#include <QAction>
#include <QDir>
#include <QMenu>

#include <filesystem>
#include <sstream>

#include "service/popup.h"
#include "service_fixture.h"
#include "util/file_uri.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;

// Titles as a tree: a separator is "-", a submenu {title: [children]}.
nlohmann::json titlesOf(const QMenu& menu) {
    nlohmann::json titles = nlohmann::json::array();
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            titles.push_back("-");
        } else if (action->menu() != nullptr) {
            titles.push_back({{action->text().toStdString(), titlesOf(*action->menu())}});
        } else {
            titles.push_back(action->text().toStdString());
        }
    }
    return titles;
}

nlohmann::json titlesOf(const nlohmann::json& entries) {
    nlohmann::json titles = nlohmann::json::array();
    for (const nlohmann::json& entry : entries) {
        if (entry.value("separator", false)) {
            titles.push_back("-");
        } else if (entry.contains("children")) {
            titles.push_back({{entry.value("title", ""), titlesOf(entry["children"])}});
        } else {
            titles.push_back(entry.value("title", ""));
        }
    }
    return titles;
}

QAction* actionWithTag(const QMenu& menu, std::int64_t tag) {
    for (QAction* action : menu.actions()) {
        if (action->menu() != nullptr) {
            if (QAction* found = actionWithTag(*action->menu(), tag)) {
                return found;
            }
        } else if (!action->isSeparator() && action->data().toLongLong() == tag) {
            return action;
        }
    }
    return nullptr;
}

std::vector<fs::path> untitledFiles(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("Untitled")) {
            found.push_back(entry.path());
        }
    }
    return found;
}

class Popup : public ServiceTest {
  protected:
    // Shows the pop-up; `choose` stands in for the user.
    int popup(PopupRequest request, const PopupChooser& choose) {
        std::ostringstream err;
        const int status = showPopup(bus(), std::move(request), choose, err);
        EXPECT_EQ(err.str(), "");
        return status;
    }
};

TEST_F(Popup, ListsTheToolbarMenuWithIconsAndRunsTheChosenEntry) {
    startService();
    const fs::path folder = files().mkdir("shown");
    const MenuReply toolbar = getMenu(3, {}, uri(folder));
    ASSERT_TRUE(toolbar.ok);
    const std::int64_t txt = childTag(toolbar.menu, "New File", "txt");
    ASSERT_NE(txt, 0) << toolbar.json;

    nlohmann::json shown;
    bool hasIcon = false;
    const int status = popup({{}, uri(folder)}, [&](QMenu& menu) {
        shown = titlesOf(menu);
        for (QAction* action : menu.actions()) {
            hasIcon = hasIcon || !action->icon().isNull();
        }
        return actionWithTag(menu, txt);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(shown, titlesOf(toolbar.menu));
    EXPECT_TRUE(hasIcon);
    ASSERT_TRUE(waitFor([&] { return untitledFiles(folder).size() == 1; }));
    EXPECT_EQ(untitledFiles(folder).front().filename(), "Untitled.txt");

    // Dismissed, or a submenu head: nothing runs.
    EXPECT_EQ(popup({{}, uri(folder)}, [](QMenu&) { return nullptr; }), 0);
    EXPECT_EQ(popup({{}, uri(folder)},
                    [](QMenu& menu) {
                        for (QAction* action : menu.actions()) {
                            if (action->menu() != nullptr) {
                                return action;
                            }
                        }
                        return static_cast<QAction*>(nullptr);
                    }),
              0);
    waitFor([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(untitledFiles(folder).size(), 1u);
}

TEST_F(Popup, WithoutArgumentsItUsesWhatAFileManagerAskedForLast) {
    startService();
    const fs::path folder = files().mkdir("docs");
    const fs::path file = files().write("docs/report été.txt", "x");
    const auto shownFor = [&](PopupRequest request) {
        nlohmann::json shown;
        popup(std::move(request), [&](QMenu& menu) {
            shown = titlesOf(menu);
            return nullptr;
        });
        return shown;
    };

    // Nobody has asked yet: the home folder.
    EXPECT_EQ(shownFor({}), titlesOf(getMenu(3, {}, uri(QDir::homePath().toStdString())).menu));

    ASSERT_TRUE(getMenu(0, {uri(file)}, uri(folder)).ok);
    // The pop-up's own kind is not a file manager saying where the user is.
    ASSERT_TRUE(getMenu(3, {}, uri(files().path())).ok);
    const QDBusMessage last = call(QStringLiteral("LastSelection"));
    ASSERT_EQ(last.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(last.arguments().value(0).toStringList(), QStringList{uri(file)});
    EXPECT_EQ(last.arguments().value(1).toString(), uri(folder));
    EXPECT_EQ(shownFor({}), titlesOf(getMenu(3, {uri(file)}, uri(folder)).menu));

    // A background request: no selection.
    ASSERT_TRUE(getMenu(1, {}, uri(files().path())).ok);
    EXPECT_EQ(shownFor({}), titlesOf(getMenu(3, {}, uri(files().path())).menu));
}

TEST_F(Popup, ArgumentsNameTheSelectionAndTheFolder) {
    const std::string base = files().path().string();
    fs::current_path(files().path());
    std::string error;
    struct Case {
        std::vector<std::string> args;
        QStringList selection;
        std::string target;
    };
    const Case cases[] = {
        {{"popup"}, {}, ""},
        {{"popup", "a b.txt"}, {uri(files().path() / "a b.txt")}, base},
        {{"popup", "--target", "/srv", "x/y"}, {uri(files().path() / "x/y")}, "/srv"},
        {{"popup", "--", "--name"}, {uri(files().path() / "--name")}, base},
        {{"popup", "file:///top"}, {uri(fs::path("/top"))}, "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const std::optional<PopupRequest> request = popupRequestFromArguments(c.args, error);
        ASSERT_TRUE(request) << error;
        EXPECT_EQ(request->selection, c.selection);
        EXPECT_EQ(request->target.toStdString(), c.target.empty() ? "" : fileUriFromPath(c.target));
    }
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"popup", "--kind", "items"},
          {"popup", "--target"},
          {"popup", "file://elsewhere/x"},
          {"popup", ""}}) {
        EXPECT_FALSE(popupRequestFromArguments(bad, error)) << bad.back();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace tf::test
