// The colour picker command: result texts, the copy buttons, the one-time magnifier tip and
// the message where no sampler can run, driven through the background menu.
#include "commands/colour/colour_commands.h"

#include <cmath>

#include "model/menu_manager.h"
#include "support/engine_fixture.h"

namespace tf::test {
namespace {

using nlohmann::json;

TEST(ColourTexts, CutHexRoundedRgbAndTheHash) {
    struct Case {
        ScreenColour colour;
        bool hash;
        const char* hex;
        const char* rgb;
    };
    const Case cases[] = {
        {{1.0, 1.0, 1.0}, false, "FFFFFF", "255,255,255"},
        {{1.0, 1.0, 1.0}, true, "#FFFFFF", "255,255,255"},
        {{0.0, 0.0, 0.0}, true, "#000000", "0,0,0"},
        // 127.5: cut toward zero in hex, rounded in decimal.
        {{0.5, 0.5, 0.5}, false, "7F7F7F", "128,128,128"},
        {{233 / 255.0, 87 / 255.0, 71 / 255.0}, false, "E95747", "233,87,71"},
        // Just below a whole step stays on the lower step in hex only.
        {{0.999, 0.0039, 0.5}, false, "FE007F", "255,1,128"},
        // A sampler reporting beyond the range (wide-gamut screens) stays within a byte.
        {{1.2, -0.1, std::nan("")}, true, "#FF0000", "255,0,0"},
    };
    for (const Case& c : cases) {
        const ColourTexts texts = colourTexts(c.colour, c.hash);
        EXPECT_EQ(texts.hex, c.hex) << c.rgb;
        EXPECT_EQ(texts.rgb, c.rgb) << c.hex;
    }
}

class ColourPickerCommand : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        setMainList({{{"key", "Color Picker"}}});
    }

    // Chooses "Color Picker" in the background menu of the sandbox folder.
    void pick(std::vector<json> answers) {
        session(std::move(answers));
        const MenuList menu = menuFor(MenuKind::Container, {}, files().path().string());
        ASSERT_EQ(keysOf(menu).front(), "Color Picker");
        ASSERT_TRUE(sync().activate(sync().menuId(), menu.front().tag));
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(10)));
    }
    std::string clipboard() { return session_->ui().pasteboardText(); }
};

TEST_F(ColourPickerCommand, WhitePickedByTheDesktopShowsBothCodesAndCopiesTheChosenOne) {
    pick({{{"colour", {1, 1, 1}}}, {{"button", 1}}});
    std::vector<json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]["message"], "");
    EXPECT_EQ(alerts[0]["informative"], "HEX\uFF1AFFFFFF\n\nRGB\uFF1A255,255,255");
    EXPECT_EQ(alerts[0]["buttons"], json({"Copy HEX", "Copy RGB"}));
    EXPECT_EQ(alerts[0]["style"], "informational");
    EXPECT_EQ(clipboard(), "FFFFFF");

    setSetting("pref check6", Value(true));
    pick({{{"colour", {0.5, 0.5, 0.5}}}, {{"button", "Copy RGB"}}});
    alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[1]["informative"], "HEX\uFF1A#7F7F7F\n\nRGB\uFF1A128,128,128");
    EXPECT_EQ(clipboard(), "128,128,128");

    // No tip for the desktop's sampler.
    EXPECT_FALSE(RCMenuManager::sharedInstance().privateDefaults().readBool(kScreenRecordTipKey));
}

TEST_F(ColourPickerCommand, TheMagnifierTipComesOncePerInstallation) {
    pick({{{"colour", {0, 0, 1}}, {"sampler", "magnifier"}}, {{"button", 1}}, {{"button", 2}}});
    std::vector<json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_NE(alerts[0]["informative"].get<std::string>().find("magnifier"), std::string::npos);
    EXPECT_EQ(alerts[1]["informative"], "HEX\uFF1A0000FF\n\nRGB\uFF1A0,0,255");
    EXPECT_EQ(clipboard(), "0,0,255");
    // The mark lives in the service's own settings, not the shared ones.
    EXPECT_TRUE(RCMenuManager::sharedInstance().privateDefaults().readBool(kScreenRecordTipKey));
    EXPECT_FALSE(settings().contains(kScreenRecordTipKey));

    pick({{{"colour", {0, 0, 1}}, {"sampler", "magnifier"}}, {{"button", 1}}});
    alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 3u);
    EXPECT_EQ(alerts[2]["buttons"], json({"Copy HEX", "Copy RGB"}));
    EXPECT_EQ(clipboard(), "0000FF");
}

TEST_F(ColourPickerCommand, CancelShowsNothingAndNoSamplerSaysWhy) {
    pick({{{"cancel", true}, {"sampler", "magnifier"}}, {{"button", 1}}});
    // The tip still came (the magnifier showed), but no result.
    ASSERT_EQ(transcriptOf("alert").size(), 1u);
    EXPECT_EQ(clipboard(), "");

    pick({{{"sampler", "none"}}});
    const std::vector<json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[1]["style"], "warning");
    EXPECT_NE(alerts[1]["informative"].get<std::string>().find("Wayland"), std::string::npos);
    const std::vector<json> picks = transcriptOf("pick-colour");
    ASSERT_EQ(picks.size(), 2u);
    EXPECT_EQ(picks[1]["sampler"], "none");
    EXPECT_TRUE(picks[1]["answer"].is_null());

    // A colour out of range is refused like any answer that does not fit.
    pick({{{"colour", {2, 0, 0}}}});
    EXPECT_EQ(transcriptOf("alert").size(), 2u);
    EXPECT_TRUE(transcriptOf("pick-colour").back().contains("error"));
}

}  // namespace
}  // namespace tf::test
