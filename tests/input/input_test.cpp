#include "app/automation.h"
#include "support/bmp_writer.h"
#include "gfx2d/text.h"
#include "input/commands.h"
#include "input/dxinput.h"
#include "platform/input.h"
#include "platform/test_hooks.h"
#include "platform/window.h"
#include "support/harness.h"

namespace {

constexpr int kA = 30, kS = 31, kQ = 16, kC = 46, kZ = 44, kLeftShift = 42, kRightShift = 54, k1 = 2, k3 = 4,
              kBackspace = 14, kReturn = 28, kDelete = 211, kLeftControl = 29;

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
    static std::string Inkey() { return INKEY_Str().c_str(); }
};

TEST_F(InputTest, KeysAndTheCharactersTheyType) {
    Press(kA);
    EXPECT_EQ(std::tuple(KEY(30.9), KEY(30 + 256), KEY(31)), std::tuple(1.0, 1.0, 0.0));  // truncated, low 8 bits
    EXPECT_EQ(Inkey(), "a");
    EXPECT_EQ(Inkey(), "");  // once per press
    Press(kA, false);
    EXPECT_EQ(KEY(30), 0);
    EXPECT_EQ(Inkey(), "");
    // Characters follow what the keyboard types: on a German keyboard the key in the
    // place of Z types "y", once it has typed anything; other keys keep their own.
    Press(kZ);
    EXPECT_EQ(Inkey(), "z");
    plat::PushTextEvent("y");
    Press(kZ, false);
    Inkey();
    // Shift gives capitals and the layout's shifted symbols; Control or Alt held gives
    // no character, but Return still comes through, so that INPUT can be finished.
    struct Row { std::vector<int> keys; const char* typed; } rows[] = {
        {{kZ}, "y"}, {{kS}, "s"}, {{kLeftShift, kA}, "A"}, {{kRightShift, k1}, "!"}, {{kDelete}, ""},
        {{kLeftControl, kC}, ""}, {{157, kC}, ""}, {{56, kC}, ""}, {{184, kC}, ""}, {{kC}, "c"},
        {{kLeftControl, kReturn}, "\n"},
    };
    for (const Row& r : rows) {
        for (int k : r.keys) Press(k);
        EXPECT_EQ(Inkey(), r.typed) << r.keys[0];
        for (auto k = r.keys.rbegin(); k != r.keys.rend(); ++k) Press(*k, false);
        EXPECT_EQ(Inkey(), "") << r.keys[0];
    }
    Press(kA);
    Press(kQ);  // two keys at once report the lower scan code, then the other
    EXPECT_EQ(Inkey(), "q");
    Press(kQ, false);
    EXPECT_EQ(Inkey(), "a");
    Press(kA, false);
}

TEST_F(InputTest, MouseBuiltFromMovementAndClampedAndJoysticks) {
    double x, y, b1, b2;
    auto state = [&] {
        MOUSESTATE(x, y, b1, b2);
        return std::vector{x, y, b1, b2};
    };
    SETMOUSE(100, 100);
    plat::PushMouseMotion(25, -10);
    plat::PushMouseButton(0, true);
    EXPECT_EQ(state(), (std::vector<double>{125, 90, 1, 0}));
    plat::PushMouseButton(0, false);
    plat::PushMouseButton(1, true);
    plat::PushMouseMotion(10000, 10000);
    EXPECT_EQ(state(), (std::vector<double>{1.0 * DQ_RESX, 1.0 * DQ_RESY, 0, 1}));  // the width itself, not width - 1
    plat::PushMouseButton(1, false);
    SETMOUSE(-10, 5);
    EXPECT_EQ(state(), (std::vector<double>{0, 5, 0, 0}));
    // Joystick axes with a dead zone, the hat's pure directions, buttons; indices
    // outside 0 ... 9 read a joystick at rest.
    int device = plat::AttachVirtualJoystick(3, 4, 1);
    ASSERT_GE(device, 0);
    pDXin->CreateDInput(false);
    ASSERT_GE(GETNUMJOYSTICKS(), 1);
    const double n = GETNUMJOYSTICKS() - 1;  // the virtual one comes last
    for (auto [axis, at] : {std::pair{0, -32768}, {1, 16000}, {2, 0}}) plat::SetVirtualJoystick(device, axis, at);
    plat::SetVirtualJoystickButton(device, 2, true);
    plat::SetVirtualJoystickHat(device, 0, 2);  // right
    EXPECT_EQ((std::vector{GETJOYX(n), GETJOYY(n), GETJOYZ(n), GETDIGIX(n), GETDIGIY(n)}),
              (std::vector<double>{-1, 0, 32768, 1, 0}));  // y pushed halfway: inside the dead zone
    EXPECT_NE(GETJOYBUTTON(n, 2), 0);
    for (double b : {1.0, 32.0, -0.5}) EXPECT_EQ(GETJOYBUTTON(n, b), 0) << b;
    plat::SetVirtualJoystickHat(device, 0, 1 | 2);  // north-east: no pure direction
    EXPECT_EQ(std::pair(GETDIGIX(n), GETDIGIY(n)), std::pair(0.0, 0.0));
    plat::SetVirtualJoystickHat(device, 0, 1);
    EXPECT_EQ(GETDIGIY(n), -1);
    plat::SetVirtualJoystick(device, 0, 32767);
    plat::SetVirtualJoystick(device, 1, 32767);
    EXPECT_EQ(std::pair(GETJOYX(n), GETJOYY(n)), std::pair(1.0, 1.0));
    EXPECT_STRNE(GETJOYNAME_Str(n).c_str(), "");
    EXPECT_STREQ(GETJOYNAME_Str(GETNUMJOYSTICKS()).c_str(), "");
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
    if (i >= 0 && i < std::ssize(g_typing)) plat::PushKeyEvent(g_typing[i].first, g_typing[i].second);
}

TEST_F(InputTest, InputEditsTextAndNumbers) {
    TempDir shots;
    pPrsm->SetNoWait(true);
    __g_automation.shotsDir = shots.path.string();
    __g_automation.shotsEvery = 1;
    __SetFrameHook(TypeOneEvent);
    SETFONT(0);
    // Lit pixels of the text area (x 100 ... 199, y 100 ... 119) in the k-th frame of the run.
    auto lit = [&](int k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06lld.bmp", g_base + k);
        __BMPImage img;
        if (!ReadBitmap(shots / name, img)) return -1;
        int n = 0;
        for (int y = 100; y < 120; ++y)
            for (int x = 100; x < 200; ++x) n += img.Colour(x, y) != 0;
        return n;
    };
    g_base = __g_frame;
    g_typing = {{kBackspace, true}, {kBackspace, false}, {k3, true}, {k3, false}, {kReturn, true}, {kReturn, false}};
    DQStr text("12");
    INPUT(text, 100, 100);
    EXPECT_STREQ(text.c_str(), "13");
    const int start = lit(1), deleted = lit(2), typed = lit(4);
    EXPECT_GT(start, 0);        // "12" is shown at once
    EXPECT_LT(deleted, start);  // "1" after Backspace
    EXPECT_GT(typed, deleted);  // "13"
    EXPECT_NE(typed, start);
    Press(kReturn, false);
    __g_automation.shotsDir.clear();
    g_base = __g_frame;
    g_typing = {{k3, true}, {k3, false}, {52, true}, {52, false}, {6, true}, {6, false}, {kReturn, true}};
    double v = 0;
    INPUT(v, 100, 100);
    EXPECT_EQ(v, 3.5);
    Press(kReturn, false);
}

// Escape ends the waits, closing the window ends SHELLCMD's wait for its program;
// reading keys never drops a close request. Key scripts drive
// KEY frame by frame; a recorded run replays to the same keys (the replaying program
// presses keys of its own too; they are ignored); a script that cannot be read ends
// the run with a message.
TEST(InputRuns, EscapeClosingAndKeyScripts) {
    for (const char* scenario : {"mousewait", "keywait", "close-while-reading-keys", "close-in-shell-wait"})
        EXPECT_EQ(RunScenario(scenario).Outcome(), "0 ") << scenario;
    TempDir dir;
    const std::string script = WriteText(dir / "keys.txt", "# walk\n2 30\n\n4 30 31   # both\n5\n");
    EXPECT_EQ(RunScenario("keys", {"TOLVANE_INPUT=" + script, "TOLVANE_FRAMES=6", "TOLVANE_NO_WAIT=1"}).Outcome(),
              "0 1 0 0\n2 1 0\n3 1 0\n4 1 1\n5 0 0\n6 0 0\n");
    const std::string rec = dir / "rec.txt";
    ChildResult live = RunScenario("keys-live", {"TOLVANE_RECORD=" + rec, "TOLVANE_FRAMES=10", "TOLVANE_NO_WAIT=1"});
    EXPECT_EQ(live.status, 0);
    EXPECT_NE(live.out.find(" 1 "), std::string::npos);  // the keys were seen
    EXPECT_EQ(RunScenario("keys-live", {"TOLVANE_INPUT=" + rec, "TOLVANE_FRAMES=10", "TOLVANE_NO_WAIT=1"}).Outcome(),
              live.Outcome());
    ChildResult r = RunScenario("keys", {"TOLVANE_INPUT=" + WriteText(dir / "b", "3 30\n2 31\n"), "TOLVANE_FRAMES=3"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("line 2"), std::string::npos);
    for (const std::string& bad : {std::string("/nonexistent/keys.txt"), WriteText(dir / "range.txt", "1 256\n")})
        EXPECT_NE(RunScenario("keys", {"TOLVANE_INPUT=" + bad, "TOLVANE_FRAMES=3"}).status, 0) << bad;
}

}  // namespace
