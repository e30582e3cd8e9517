// What one menu request costs the engine: the default catalogue on one selected file, and
// the same with 20 common paths whose submenus each list their folder (20 entries shown out
// of 40). A file manager may ask on every selection change, so this must stay far below a
// millisecond.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "cli/headless_session.h"
#include "engine/menu_tree.h"
#include "model/default_data.h"
#include "model/json_value.h"
#include "model/menu_manager.h"
#include "model/url_cache.h"
#include "platform/application_index.h"

namespace {

struct BenchHome {
    BenchHome() {
        std::string pattern = "/tmp/trackfolio-menu-bench-XXXXXX";
        root = ::mkdtemp(pattern.data());
        ::setenv("TRACKFOLIO_HOME", root.c_str(), 1);
        ::setenv("HOME", root.c_str(), 1);
        tf::setRunningDeliverable(tf::Deliverable::Extension);
        tf::RCMenuManager::sharedInstance().reloadFromEnvironment();
        tf::RCURLCache::sharedInstance().reload();
        (void)tf::RCDefaultData::setup();
        file = (root / "photo.jpg").string();
        std::ofstream(file) << "x";
        // Two of the default "Open With" applications are installed; the rest are looked up
        // in this machine's applications folders.
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        const std::filesystem::path applications = root / "data" / "applications";
        std::filesystem::create_directories(applications);
        std::ofstream(applications / "code.desktop")
            << "[Desktop Entry]\nType=Application\nName=Visual Studio Code\nExec=code %F\n";
        std::ofstream(applications / "sublime_text.desktop")
            << "[Desktop Entry]\nType=Application\nName=Sublime Text\nExec=subl %F\n";
        tf::Array paths;
        for (int i = 0; i < 20; ++i) {
            const std::filesystem::path folder = root / ("folder" + std::to_string(i));
            std::filesystem::create_directories(folder);
            for (int j = 0; j < 40; ++j) {
                std::ofstream(folder / ("file" + std::to_string(j) + ".txt")) << "x";
            }
            std::filesystem::create_directories(folder / "sub");
            paths.emplace_back(tf::Dict{{"key", folder.string()}, {"path", folder.string()}});
        }
        commonPaths = tf::Value(std::move(paths));
        // A user's favourite folders were not changed in the last second; listings of
        // folders changed that recently are read again on every request.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    ~BenchHome() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    std::filesystem::path root;
    std::string file;
    tf::Value commonPaths;
};

BenchHome& home() {
    static BenchHome h;
    return h;
}

void buildMenus(benchmark::State& state) {
    tf::Transcript transcript;
    // The real desktop, as the service has it: it answers which applications are installed.
    tf::HeadlessSession session(tf::AnswerScript(), transcript, true);
    tf::FinderSync& sync = session.sync();
    sync.setSelectedItemURLs({home().file});
    sync.setTargetURL(home().root.string());
    std::size_t entries = 0;
    for (auto _ : state) {
        const tf::MenuList& menu = sync.menuForMenuKind(tf::MenuKind::Items);
        entries = menu.size();
        benchmark::DoNotOptimize(menu.data());
    }
    state.counters["top entries"] = static_cast<double>(entries);
}

void BM_MenuDefaultCatalogueOneFile(benchmark::State& state) {
    (void)tf::RCMenuManager::sharedInstance().sharedDefaults().remove("array common path");
    buildMenus(state);
}
BENCHMARK(BM_MenuDefaultCatalogueOneFile)->Unit(benchmark::kMicrosecond);

void BM_MenuWithTwentyListedCommonPaths(benchmark::State& state) {
    (void)tf::RCMenuManager::sharedInstance().sharedDefaults().set("array common path",
                                                                   home().commonPaths);
    buildMenus(state);
}
BENCHMARK(BM_MenuWithTwentyListedCommonPaths)->Unit(benchmark::kMicrosecond);

// What asking for the installed applications adds to every menu: the default app list
// against this machine's applications folders, nothing changed since the last menu.
void BM_InstalledApplicationsOfTheDefaultList(benchmark::State& state) {
    std::vector<std::string> names;
    for (const tf::Value& app : tf::RCDefaultData::defaultCommonAppMenu()) {
        names.push_back(tf::dictString(*app.dict(), "key"));
    }
    std::size_t installed = 0;
    for (auto _ : state) {
        const std::vector<bool> answers = tf::installedApplications(names);
        installed = static_cast<std::size_t>(std::count(answers.begin(), answers.end(), true));
    }
    state.counters["installed"] = static_cast<double>(installed);
}
BENCHMARK(BM_InstalledApplicationsOfTheDefaultList)->Unit(benchmark::kMicrosecond);

// The protocol's form of the default menu: what every GetMenu adds to building it.
void BM_MenuJsonOfTheDefaultCatalogue(benchmark::State& state) {
    (void)tf::RCMenuManager::sharedInstance().sharedDefaults().remove("array common path");
    tf::Transcript transcript;
    tf::HeadlessSession session(tf::AnswerScript(), transcript, false);
    tf::FinderSync& sync = session.sync();
    sync.setSelectedItemURLs({home().file});
    sync.setTargetURL(home().root.string());
    const tf::MenuList menu = sync.menuForMenuKind(tf::MenuKind::Items);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string json = tf::menuJsonText(menu);
        bytes = json.size();
        benchmark::DoNotOptimize(json.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_MenuJsonOfTheDefaultCatalogue)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    (void)home();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
