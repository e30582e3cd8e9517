// Launches handed over by the menu service: which service runs, with what, and that the key
// is consumed.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "model/file_record.h"
#include "model/menu_manager.h"
#include "model/settings_store.h"
#include "platform/process_runner.h"
#include "settings/handoff.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

using Argv = std::vector<std::string>;

class FakeRunner : public ProcessRunner {
  public:
    ProcessResult run(const ProcessRequest& request) override {
        calls.push_back(request.argv);
        ProcessResult result;
        result.started = true;
        result.exitCode = failing.contains(request.argv.front()) ? 1 : 0;
        if (auto it = outputs.find(request.argv); it != outputs.end()) {
            result.out = it->second;
        }
        return result;
    }
    bool spawnDetached(const ProcessRequest& request) override {
        calls.push_back(request.argv);
        return true;
    }
    std::vector<Argv> calls;
    std::map<Argv, std::string> outputs;
    std::set<std::string> failing;
};

class FakePortal : public WallpaperPortal {
  public:
    bool setWallpaper(const std::string& fileUri) override {
        uris.push_back(fileUri);
        return answers;
    }
    bool answers = true;
    std::vector<std::string> uris;
};

class FakeGsConnect : public GsConnect {
  public:
    std::optional<std::vector<std::string>> reachableDevices() override { return devices; }
    bool shareFile(const std::string& device, const std::string& fileUri) override {
        shared.push_back(device + " " + fileUri);
        return true;
    }
    std::optional<std::vector<std::string>> devices;
    std::vector<std::string> shared;
};

constexpr std::string_view kPng = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR";

class HandOffTest : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        ports.portal = &portal;
        ports.gsconnect = &gsconnect;
        ports.processes = &runner;
        ports.findProgram = [this](const std::string& name) -> std::optional<std::string> {
            if (programs.contains(name)) {
                return "/usr/bin/" + name;
            }
            return std::nullopt;
        };
        ports.tell = [this](const std::string& message) { told.push_back(message); };
        picture = files().write("My Pictures/sea & sky.png", std::string(kPng.data(), kPng.size()));
        text = files().write("notes.txt", "hello");
    }

    SettingsStore& shared() { return RCMenuManager::sharedInstance().sharedDefaults(); }

    bool handOff(std::int64_t key, const std::vector<std::string>& paths) {
        shared().set("main open key", Value(key));
        const bool handled = handleHandOff(shared(), paths, ports);
        EXPECT_FALSE(shared().contains("main open key")) << "the key is consumed";
        return handled;
    }

    FakeRunner runner;
    FakePortal portal;
    FakeGsConnect gsconnect;
    HandOffPorts ports;
    std::set<std::string> programs;
    std::vector<std::string> told;
    std::string picture;
    std::string text;
};

TEST_F(HandOffTest, OtherKeysAreAnOrdinaryLaunch) {
    EXPECT_FALSE(handleHandOff(shared(), {picture}, ports)) << "no key at all";
    EXPECT_FALSE(handOff(3, {picture}));
    EXPECT_TRUE(portal.uris.empty());
    EXPECT_TRUE(runner.calls.empty());
}

TEST_F(HandOffTest, ThePortalSetsTheDesktopPictureFromTheFirstFile) {
    EXPECT_TRUE(handOff(8, {picture, text}));
    EXPECT_EQ(portal.uris, std::vector<std::string>{"file://" + files().path().string() +
                                                    "/My%20Pictures/sea%20%26%20sky.png"});
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_TRUE(told.empty());
}

TEST_F(HandOffTest, WhatIsNotAPictureStaysHiddenAndUntouched) {
    EXPECT_TRUE(handOff(8, {text}));
    EXPECT_TRUE(handOff(8, {}));
    EXPECT_TRUE(portal.uris.empty());
    EXPECT_TRUE(told.empty());
}

TEST_F(HandOffTest, WithoutAPortalEachDesktopUsesItsOwnSetting) {
    portal.answers = false;
    programs = {"gsettings", "plasma-apply-wallpaperimage", "xfconf-query"};
    const std::string uri =
        "file://" + files().path().string() + "/My%20Pictures/sea%20%26%20sky.png";
    runner.outputs[{"xfconf-query", "-c", "xfce4-desktop", "-l"}] =
        "/backdrop/screen0/monitorHDMI-1/workspace0/last-image\n"
        "/backdrop/screen0/monitorHDMI-1/workspace0/image-style\n"
        "/backdrop/screen0/monitoreDP-1/workspace0/last-image\n";
    const std::vector<std::pair<std::string, std::vector<Argv>>> cases{
        {"ubuntu:GNOME",
         {{"gsettings", "set", "org.gnome.desktop.background", "picture-uri", uri},
          {"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark", uri}}},
        {"X-Cinnamon",
         {{"gsettings", "set", "org.cinnamon.desktop.background", "picture-uri", uri}}},
        {"MATE", {{"gsettings", "set", "org.mate.background", "picture-filename", picture}}},
        {"KDE", {{"plasma-apply-wallpaperimage", picture}}},
        {"XFCE",
         {{"xfconf-query", "-c", "xfce4-desktop", "-l"},
          {"xfconf-query", "-c", "xfce4-desktop", "-p",
           "/backdrop/screen0/monitorHDMI-1/workspace0/last-image", "-s", picture},
          {"xfconf-query", "-c", "xfce4-desktop", "-p",
           "/backdrop/screen0/monitoreDP-1/workspace0/last-image", "-s", picture}}},
    };
    for (const auto& [desktop, expected] : cases) {
        SCOPED_TRACE(desktop);
        runner.calls.clear();
        ports.desktop = desktop;
        EXPECT_TRUE(handOff(8, {picture}));
        EXPECT_EQ(runner.calls, expected);
        EXPECT_TRUE(told.empty());
    }

    // A desktop we know no setting for, or one whose tool is missing, says so.
    ports.desktop = "Hyprland";
    EXPECT_TRUE(handOff(8, {picture}));
    ports.desktop = "KDE";
    programs.clear();
    EXPECT_TRUE(handOff(8, {picture}));
    EXPECT_EQ(told.size(), 2u);
}

TEST_F(HandOffTest, NearbySharingSendsEveryFileToTheFirstReachableDevice) {
    programs = {"kdeconnect-cli"};
    runner.outputs[{"kdeconnect-cli", "--list-available", "--id-only"}] = "a1b2\nc3d4\n";
    EXPECT_TRUE(handOff(7, {picture, text}));
    EXPECT_EQ(runner.calls,
              (std::vector<Argv>{{"kdeconnect-cli", "--list-available", "--id-only"},
                                 {"kdeconnect-cli", "--device", "a1b2", "--share", picture},
                                 {"kdeconnect-cli", "--device", "a1b2", "--share", text}}));
    EXPECT_TRUE(told.empty());
    EXPECT_TRUE(gsconnect.shared.empty());

    runner.failing = {"kdeconnect-cli"};
    runner.outputs.clear();
    runner.calls.clear();
    EXPECT_TRUE(handOff(7, {picture}));
    ASSERT_EQ(told.size(), 1u) << "KDE Connect without a reachable device";
    EXPECT_EQ(told[0], localized("Nearby Share No Device Tip"));
}

TEST_F(HandOffTest, GsConnectTakesOverWhenKdeConnectIsMissing) {
    gsconnect.devices = std::vector<std::string>{"/org/gnome/Shell/Extensions/GSConnect/Device/x"};
    EXPECT_TRUE(handOff(7, {text}));
    EXPECT_EQ(gsconnect.shared,
              std::vector<std::string>{"/org/gnome/Shell/Extensions/GSConnect/Device/x file://" +
                                       files().path().string() + "/notes.txt"});

    gsconnect.devices = std::vector<std::string>{};
    EXPECT_TRUE(handOff(7, {text}));
    gsconnect.devices.reset();
    EXPECT_TRUE(handOff(7, {text}));
    EXPECT_EQ(told, (std::vector<std::string>{localized("Nearby Share No Device Tip"),
                                              localized("Nearby Share Unavailable Tip")}));
}

TEST(FileUri, EscapesEveryByteOutsideTheUnreservedSet) {
    EXPECT_EQ(fileURL("/home/ann/a b/%x#?.png"), "file:///home/ann/a%20b/%25x%23%3F.png");
    EXPECT_EQ(fileURL(std::string("/caf\xC3\xA9/\xFF")), "file:///caf%C3%A9/%FF");
}

}  // namespace
}  // namespace tf
