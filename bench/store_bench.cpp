// The shared store's costs on the default catalogue: what a menu request pays to read the
// settings when nothing changed, after the other program wrote, to load the main list, and
// what one catalogue edit costs (locked read-modify-write with fsync), and how reading and
// writing scale with a very large file.
#include <benchmark/benchmark.h>
#include <plist/plist.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "model/default_data.h"
#include "model/menu_manager.h"
#include "model/plist_codec.h"

namespace {

// A throwaway TRACKFOLIO_HOME holding the default catalogue, shared by every benchmark.
struct BenchHome {
    BenchHome() {
        std::string pattern = "/tmp/trackfolio-bench-XXXXXX";
        root = ::mkdtemp(pattern.data());
        ::setenv("TRACKFOLIO_HOME", root.c_str(), 1);
        tf::setRunningDeliverable(tf::Deliverable::Extension);
        tf::RCMenuManager::sharedInstance().reloadFromEnvironment();
        (void)tf::RCDefaultData::setup();
    }
    ~BenchHome() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    std::filesystem::path root;
};

BenchHome& home() {
    static BenchHome h;
    return h;
}

tf::SettingsStore& shared() {
    return tf::RCMenuManager::sharedInstance().sharedDefaults();
}

void storeReadUnchanged(benchmark::State& state) {
    home();
    shared().snapshot();
    for (auto _ : state) {
        benchmark::DoNotOptimize(shared().readBool("pref check7"));
    }
}
BENCHMARK(storeReadUnchanged);

void storeReadAfterChange(benchmark::State& state) {
    home();
    // A second store on the same file plays the settings application writing.
    tf::SettingsStore other(shared().file());
    std::int64_t n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        (void)other.set("bench counter", ++n);
        state.ResumeTiming();
        benchmark::DoNotOptimize(shared().readInteger("bench counter"));
    }
}
BENCHMARK(storeReadAfterChange);

void catalogueLoadMainList(benchmark::State& state) {
    home();
    for (auto _ : state) {
        auto items = tf::RCMenuManager::sharedInstance().menuItemArray();
        benchmark::DoNotOptimize(items.data());
    }
}
BENCHMARK(catalogueLoadMainList);

void catalogueEdit(benchmark::State& state) {
    home();
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        const tf::Value cut =
            flip ? tf::Value(tf::Array{tf::Value("/tmp/x")}) : tf::Value(tf::Array{});
        (void)tf::RCMenuManager::sharedInstance().updateMenuKey(tf::kMainListKey, "Cut Paste",
                                                                "cutPaths", cut);
    }
}
BENCHMARK(catalogueEdit)->Unit(benchmark::kMicrosecond);

constexpr int kLargeKeyCount = 400000;

// Written as text, so setting the file up does not depend on the writer being measured.
std::string largeDictionaryXml() {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    for (int i = 0; i < kLargeKeyCount; ++i) {
        const std::string n = std::to_string(i);
        xml += "\t<key>entry " + n + "</key>\n\t<string>/home/user/Documents/" + n + "</string>\n";
    }
    xml += "</dict>\n</plist>\n";
    return xml;
}

// A fresh store each time: the whole file is read and parsed, as after another program's write.
void storeReadLargeFile(benchmark::State& state) {
    const std::filesystem::path file = home().root / "large" / "settings.plist";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << largeDictionaryXml();
    for (auto _ : state) {
        tf::SettingsStore store(file);
        const auto contents = store.snapshot();
        if (contents->size() != kLargeKeyCount) {
            state.SkipWithError("the large file did not read back whole");
        }
    }
}
BENCHMARK(storeReadLargeFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// The peer on the same text: the general property-list library, parse only (no file, no store).
void peerLibraryReadLargeFile(benchmark::State& state) {
    const std::string xml = largeDictionaryXml();
    for (auto _ : state) {
        plist_t root = nullptr;
        plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
        if (root == nullptr || plist_dict_get_size(root) != kLargeKeyCount) {
            state.SkipWithError("the peer did not read the large file whole");
        }
        plist_free(root);
    }
}
BENCHMARK(peerLibraryReadLargeFile)->Unit(benchmark::kMillisecond)->Iterations(1);

void writeLargeFile(benchmark::State& state) {
    tf::Dict contents;
    for (int i = 0; i < kLargeKeyCount; ++i) {
        const std::string n = std::to_string(i);
        contents.emplace("entry " + n, tf::Value("/home/user/Documents/" + n));
    }
    const tf::Value root(std::move(contents));
    for (auto _ : state) {
        benchmark::DoNotOptimize(tf::toXmlPlist(root).size());
    }
}
BENCHMARK(writeLargeFile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
