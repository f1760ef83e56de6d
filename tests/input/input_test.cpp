#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/automation.h"
#include "core/program.h"
#include "gfx2d/bmp_file.h"
#include "gfx2d/prism.h"
#include "gfx2d/text.h"
#include "input/commands.h"
#include "input/dxinput.h"
#include "platform/test_hooks.h"
#include "platform/window.h"
#include "support/child.h"
#include "support/runtime_fixture.h"

namespace {

constexpr int kA = 30, kS = 31, kQ = 16, kLeftShift = 42, kRightShift = 54, k1 = 2, kBackspace = 14,
              kReturn = 28, k3 = 4, kDelete = 211;

class InputTest : public testing::Test {
protected:
    void SetUp() override {
        StartRuntimeOnce();
        plat::PumpEvents();
        pDXin->ReleaseAllKeys();
        INKEY_Str();  // forget the last character
    }
    void TearDown() override {
        __SetFrameHook(nullptr);
        pPrsm->SetNoWait(false);
        plat::PumpEvents();
        pDXin->ReleaseAllKeys();
    }
    static void Press(int code, bool down = true) { plat::PushKeyEvent(code, down); }
};

TEST_F(InputTest, KeyTruncatesAndUsesTheLowEightBits) {
    Press(kA);
    EXPECT_EQ(KEY(30.9), 1);
    EXPECT_EQ(KEY(30 + 256), 1);
    EXPECT_EQ(KEY(31), 0);
    Press(kA, false);
    EXPECT_EQ(KEY(30), 0);
}

TEST_F(InputTest, InkeyGivesACharacterOncePerPress) {
    Press(kA);
    EXPECT_STREQ(INKEY_Str().c_str(), "a");
    EXPECT_STREQ(INKEY_Str().c_str(), "");
    EXPECT_STREQ(INKEY_Str().c_str(), "");
    Press(kA, false);
    EXPECT_STREQ(INKEY_Str().c_str(), "");
    Press(kA);
    EXPECT_STREQ(INKEY_Str().c_str(), "a");
    Press(kA, false);
    INKEY_Str();
    // Shift turns letters to capitals and digits to the layout's shifted symbol.
    Press(kLeftShift);
    Press(kA);
    EXPECT_STREQ(INKEY_Str().c_str(), "A");
    Press(kA, false);
    Press(kLeftShift, false);
    INKEY_Str();
    Press(kRightShift);
    Press(k1);
    EXPECT_STREQ(INKEY_Str().c_str(), "!");
    Press(k1, false);
    Press(kRightShift, false);
    INKEY_Str();
    Press(kDelete);
    EXPECT_STREQ(INKEY_Str().c_str(), "");
    Press(kDelete, false);
}

TEST_F(InputTest, ControlOrAltHeldGivesNoCharacter) {
    constexpr int kC = 46;
    for (int modifier : {29, 157, 56, 184}) {  // left and right Control, left and right Alt
        Press(modifier);
        Press(kC);
        EXPECT_STREQ(INKEY_Str().c_str(), "") << modifier;
        Press(kC, false);
        EXPECT_STREQ(INKEY_Str().c_str(), "") << modifier;
        Press(modifier, false);
    }
    Press(kC);
    EXPECT_STREQ(INKEY_Str().c_str(), "c");
    Press(kC, false);
    // Return and Backspace keep working, so that INPUT can still be finished.
    Press(29);
    Press(kReturn);
    EXPECT_STREQ(INKEY_Str().c_str(), "\n");
    Press(kReturn, false);
    Press(29, false);
}

TEST_F(InputTest, CharactersFollowWhatTheKeyboardTypes) {
    // On a German keyboard the key in the place of Z types "y".
    constexpr int kZ = 44;
    Press(kZ);
    EXPECT_STREQ(INKEY_Str().c_str(), "z");  // before it has typed anything
    plat::PushTextEvent("y");
    Press(kZ, false);
    INKEY_Str();
    Press(kZ);
    EXPECT_STREQ(INKEY_Str().c_str(), "y");
    Press(kZ, false);
    INKEY_Str();
    Press(kS);  // other keys keep their own
    EXPECT_STREQ(INKEY_Str().c_str(), "s");
    Press(kS, false);
}

TEST_F(InputTest, TwoKeysAtOnceReportTheLowerScanCode) {
    Press(kA);
    Press(kQ);
    EXPECT_STREQ(INKEY_Str().c_str(), "q");
    Press(kQ, false);
    EXPECT_STREQ(INKEY_Str().c_str(), "a");  // another character now
    Press(kA, false);
}

TEST_F(InputTest, MousePositionIsBuiltFromMovementAndClamped) {
    double x, y, b1, b2;
    SETMOUSE(100, 100);
    plat::PushMouseMotion(25, -10);
    plat::PushMouseButton(0, true);
    MOUSESTATE(x, y, b1, b2);
    EXPECT_EQ(x, 125);
    EXPECT_EQ(y, 90);
    EXPECT_EQ(b1, 1);
    EXPECT_EQ(b2, 0);
    plat::PushMouseButton(0, false);
    plat::PushMouseButton(1, true);
    plat::PushMouseMotion(10000, 10000);
    MOUSESTATE(x, y, b1, b2);
    EXPECT_EQ(x, DQ_RESX);  // the width itself, not width - 1
    EXPECT_EQ(y, DQ_RESY);
    EXPECT_EQ(b1, 0);
    EXPECT_EQ(b2, 1);
    plat::PushMouseButton(1, false);
    SETMOUSE(-10, 5);
    MOUSESTATE(x, y, b1, b2);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 5);
}

TEST_F(InputTest, JoystickAxesDeadZoneHatAndButtons) {
    int device = plat::AttachVirtualJoystick(3, 4, 1);
    ASSERT_GE(device, 0);
    pDXin->CreateDInput(false);
    ASSERT_GE(GETNUMJOYSTICKS(), 1);
    const double n = GETNUMJOYSTICKS() - 1;  // the virtual one comes last
    plat::SetVirtualJoystick(device, 0, -32768);
    plat::SetVirtualJoystick(device, 1, 16000);  // pushed halfway: inside the dead zone
    plat::SetVirtualJoystick(device, 2, 0);
    plat::SetVirtualJoystickButton(device, 2, true);
    plat::SetVirtualJoystickHat(device, 0, 2);  // right
    EXPECT_EQ(GETJOYX(n), -1);
    EXPECT_EQ(GETJOYY(n), 0);
    EXPECT_EQ(GETJOYZ(n), 32768);
    EXPECT_NE(GETJOYBUTTON(n, 2), 0);
    EXPECT_EQ(GETJOYBUTTON(n, 1), 0);
    EXPECT_EQ(GETJOYBUTTON(n, 32), 0);
    EXPECT_EQ(GETJOYBUTTON(n, -0.5), 0);
    EXPECT_EQ(GETDIGIX(n), 1);
    EXPECT_EQ(GETDIGIY(n), 0);
    plat::SetVirtualJoystickHat(device, 0, 1 | 2);  // north-east: no pure direction
    EXPECT_EQ(GETDIGIX(n), 0);
    EXPECT_EQ(GETDIGIY(n), 0);
    plat::SetVirtualJoystickHat(device, 0, 1);
    EXPECT_EQ(GETDIGIY(n), -1);
    plat::SetVirtualJoystick(device, 0, 32767);
    plat::SetVirtualJoystick(device, 1, 32767);
    EXPECT_EQ(GETJOYX(n), 1);
    EXPECT_EQ(GETJOYY(n), 1);
    EXPECT_STRNE(GETJOYNAME_Str(n).c_str(), "");
    EXPECT_STREQ(GETJOYNAME_Str(GETNUMJOYSTICKS()).c_str(), "");
    // Indices outside 0 ... 9 read a joystick at rest.
    for (double bad : {-1.0, 10.0, 300.0, 1e12})
        EXPECT_EQ(GETJOYX(bad) + GETJOYY(bad) + GETJOYZ(bad) + GETDIGIX(bad) + GETDIGIY(bad) + GETJOYBUTTON(bad, 0), 0);
    plat::DetachVirtualJoystick(device);
    pDXin->CreateDInput(false);
}

// INPUT runs its own frames; a frame hook types into it, one event per frame, and
// every frame is kept as a screenshot.
std::vector<std::pair<int, bool>> g_typing;  // (scan code, down) per frame
long long g_base = 0;

void TypeOneEvent(int frame) {
    long long i = frame - g_base - 1;
    if (i >= 0 && i < static_cast<long long>(g_typing.size())) plat::PushKeyEvent(g_typing[i].first, g_typing[i].second);
}

class InputEditTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        shots_ = std::filesystem::temp_directory_path() / ("tolvane-input-" + std::to_string(getpid()));
        std::filesystem::create_directories(shots_);
        pPrsm->SetNoWait(true);
        __g_automation.shotsDir = shots_.string();
        __g_automation.shotsEvery = 1;
        g_base = __g_frame;
        __SetFrameHook(TypeOneEvent);
        SETFONT(0);
    }
    void TearDown() override {
        __g_automation.shotsDir.clear();
        std::filesystem::remove_all(shots_);
        InputTest::TearDown();
    }
    // Lit pixels of the text area (x 100 ... 199, y 100 ... 119) in the k-th frame of the test.
    int LitPixels(int k) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%06lld.bmp", g_base + k);
        __BMPImage img;
        if (!__ReadBMP((shots_.string() + name).c_str(), img)) return -1;
        int lit = 0;
        for (int y = 100; y < 120; ++y)
            for (int x = 100; x < 200; ++x) lit += img.Colour(x, y) != 0;
        return lit;
    }
    std::filesystem::path shots_;
};

TEST_F(InputEditTest, EditsTheTextWithBackspaceAndReturn) {
    g_typing = {{kBackspace, true}, {kBackspace, false}, {k3, true}, {k3, false}, {kReturn, true}, {kReturn, false}};
    DQStr text("12");
    INPUT(text, 100, 100);
    EXPECT_STREQ(text.c_str(), "13");
    int start = LitPixels(1), deleted = LitPixels(2), typed = LitPixels(4);
    EXPECT_GT(start, 0);               // "12" is shown at once
    EXPECT_LT(deleted, start);         // "1" after Backspace
    EXPECT_GT(typed, deleted);         // "13"
    EXPECT_NE(typed, start);
    Press(kReturn, false);
}

TEST_F(InputEditTest, NumberForm) {
    g_typing = {{k3, true}, {k3, false}, {52, true}, {52, false}, {6, true}, {6, false}, {kReturn, true}};
    double v = 0;
    INPUT(v, 100, 100);
    EXPECT_EQ(v, 3.5);
    Press(kReturn, false);
}

TEST(InputRuns, EscapeEndsTheWaits) {
    for (const char* wait : {"mousewait", "keywait"}) {
        ChildResult r = RunScenario(wait);
        EXPECT_EQ(r.status, 0) << wait;
        EXPECT_EQ(r.out.find("survived"), std::string::npos) << wait;
    }
}

TEST(InputRuns, ReadingKeysNeverDropsACloseRequest) {
    ChildResult r = RunScenario("close-while-reading-keys");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("survived"), std::string::npos);
}

std::string TempFile(const std::string& name, const std::string& content) {
    std::string path = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()));
    std::ofstream(path) << content;
    return path;
}

TEST(InputRuns, ReplayDrivesKeyFrameByFrame) {
    std::string script = TempFile("keys.txt", "# walk\n2 30\n\n4 30 31   # both\n5\n");
    ChildResult r = RunScenario("keys", {"TOLVANE_INPUT=" + script, "TOLVANE_FRAMES=6", "TOLVANE_NO_WAIT=1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1 0 0\n2 1 0\n3 1 0\n4 1 1\n5 0 0\n6 0 0\n");
    std::filesystem::remove(script);
}

TEST(InputRuns, UnreadableScriptEndsWithAMessage) {
    std::string script = TempFile("bad.txt", "3 30\n2 31\n");
    ChildResult r = RunScenario("keys", {"TOLVANE_INPUT=" + script, "TOLVANE_FRAMES=3"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("line 2"), std::string::npos);
    std::filesystem::remove(script);
    ChildResult missing = RunScenario("keys", {"TOLVANE_INPUT=/nonexistent/keys.txt", "TOLVANE_FRAMES=3"});
    EXPECT_NE(missing.status, 0);
    std::ofstream(script) << "1 256\n";
    ChildResult range = RunScenario("keys", {"TOLVANE_INPUT=" + script, "TOLVANE_FRAMES=3"});
    EXPECT_NE(range.status, 0);
    std::filesystem::remove(script);
}

TEST(InputRuns, RecordedRunReplaysToTheSameKeys) {
    std::string rec = std::filesystem::temp_directory_path() / ("rec-" + std::to_string(getpid()) + ".txt");
    ChildResult live = RunScenario("keys-live", {"TOLVANE_RECORD=" + rec, "TOLVANE_FRAMES=10", "TOLVANE_NO_WAIT=1"});
    EXPECT_EQ(live.status, 0);
    EXPECT_NE(live.out.find(" 1 "), std::string::npos);  // the keys were seen
    // The replaying program presses keys of its own too; they are ignored.
    ChildResult again = RunScenario("keys-live", {"TOLVANE_INPUT=" + rec, "TOLVANE_FRAMES=10", "TOLVANE_NO_WAIT=1"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, live.out);
    std::filesystem::remove(rec);
}

}  // namespace
