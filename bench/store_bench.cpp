// The shared store's costs on the default catalogue: what a menu request pays to read the
// settings when nothing changed, after the other program wrote, to load the main list, and
// what one catalogue edit costs (locked read-modify-write with fsync).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "model/default_data.h"
#include "model/menu_manager.h"

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

}  // namespace

BENCHMARK_MAIN();
