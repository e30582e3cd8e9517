// A sandboxed store with the default catalogue, and the engine wired to the headless ports
// with an in-memory transcript.
#pragma once

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "cli/headless_session.h"
#include "engine/finder_sync.h"
#include "model/default_data.h"
#include "model/menu_manager.h"
#include "platform/headless.h"
#include "support/sandbox.h"

namespace tf::test {

class EngineTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        ASSERT_TRUE(RCDefaultData::setup().ok);
        // The review prompt would otherwise appear on the third command of a test.
        setSetting("is reviewed", Value(true));
    }

    static SettingsStore& settings() { return RCMenuManager::sharedInstance().sharedDefaults(); }
    static void setSetting(std::string_view key, Value value) {
        ASSERT_TRUE(settings().set(key, std::move(value)).ok);
    }
    // Replaces the main list with entries of the given keys (plus extra fields per entry).
    static void setMainList(const std::vector<Dict>& entries) {
        Array list;
        for (const Dict& entry : entries) {
            list.emplace_back(entry);
        }
        setSetting("array right menu", Value(std::move(list)));
    }
    static void setCommonPaths(const std::vector<std::string>& paths) {
        Array list;
        for (const std::string& path : paths) {
            list.emplace_back(Dict{{"key", path}, {"path", path}});
        }
        setSetting("array common path", Value(std::move(list)));
    }

    // A desktop entry in the sandbox's applications folder, so menus offer the application.
    void installApplication(const std::string& name) const {
        std::string id = name;
        std::replace(id.begin(), id.end(), ' ', '-');
        const std::filesystem::path folder = home() / ".local/share/applications";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / (id + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=true %F\n";
    }

    HeadlessSession& session(std::vector<nlohmann::json> answers = {}) {
        session_ =
            std::make_unique<HeadlessSession>(AnswerScript(std::move(answers)), transcript_, false);
        session_->ui().setSuccessDelay(std::chrono::milliseconds(0));
        return *session_;
    }
    FinderSync& sync() {
        if (!session_) {
            session();
        }
        return session_->sync();
    }
    MenuList menuFor(MenuKind kind, std::vector<std::string> selection, std::string target = {}) {
        sync().setSelectedItemURLs(std::move(selection));
        sync().setTargetURL(std::move(target));
        return sync().menuForMenuKind(kind);
    }
    std::vector<nlohmann::json> transcriptOf(std::string_view type) const {
        std::vector<nlohmann::json> found;
        for (const nlohmann::json& line : transcript_.lines()) {
            if (line.value("type", "") == type) {
                found.push_back(line);
            }
        }
        return found;
    }

    Transcript transcript_;
    std::unique_ptr<HeadlessSession> session_;
};

// Keys of one menu level, in order.
inline std::vector<std::string> keysOf(const MenuList& menu) {
    std::vector<std::string> keys;
    for (const MenuNode& node : menu) {
        keys.push_back(node.key);
    }
    return keys;
}

inline const MenuNode* nodeWithKey(const MenuList& menu, std::string_view key) {
    for (const MenuNode& node : menu) {
        if (node.key == key) {
            return &node;
        }
    }
    return nullptr;
}

}  // namespace tf::test
