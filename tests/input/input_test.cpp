#include <cmath>
#include <functional>

#include "app/automation.h"
#include "support/bmp_writer.h"
#include "gfx2d/text.h"
#include "input/commands.h"
#include "input/dxinput.h"
#include "input/key_script.h"
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
        pDXin->ReleaseAll();
        INKEY_Str();  // forget the last character
    }
    void TearDown() override {
        __SetFrameHook(nullptr);
        pPrsm->SetNoWait(false);
        plat::PumpEvents();
        pDXin->ReleaseAll();
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

// A pointer with a place (the browser's pointer while not locked, a touch) puts the
// position there as the movement that takes it there: whatever SETMOUSE, the edges or
// movement not yet read did to the position before, MOUSESTATE reports the place.
TEST_F(InputTest, PointerPlacesArriveAsTheMovementToThem) {
    double x, y, b1, b2;
    auto at = [&] {
        MOUSESTATE(x, y, b1, b2);
        return std::pair(x, y);
    };
    SETMOUSE(100, 100);
    pDXin->OnMousePosition(40, 30);
    EXPECT_EQ(at(), std::pair(40.0, 30.0));
    // Places and movement between two readings: the last place, moved on by what came after.
    pDXin->OnMouseMotion(-5, 5);
    pDXin->OnMousePosition(200, 10);
    pDXin->OnMousePosition(201, 12);
    pDXin->OnMouseMotion(3, 4);
    EXPECT_EQ(at(), std::pair(204.0, 16.0));
    // SETMOUSE places the position until the pointer moves again.
    SETMOUSE(7, 8);
    EXPECT_EQ(at(), std::pair(7.0, 8.0));
    pDXin->OnMousePosition(50, 60);
    EXPECT_EQ(at(), std::pair(50.0, 60.0));
    // Held at an edge while the movement went on: the next place is found at once.
    pDXin->OnMouseMotion(100000, 0);
    EXPECT_EQ(at(), std::pair(1.0 * DQ_RESX, 60.0));
    pDXin->OnMousePosition(10, 60);
    EXPECT_EQ(at(), std::pair(10.0, 60.0));
    // A wait that drops the movement it saw (MOUSEWAIT's reading) loses no place.
    pDXin->OnMousePosition(20, 20);
    pDXin->AnyMouse();
    pDXin->OnMousePosition(30, 25);
    EXPECT_EQ(at(), std::pair(30.0, 25.0));
    // Positions far outside, or not numbers at all, move nothing out of bounds.
    SETMOUSE(1e300, -1e300);
    pDXin->OnMousePosition(5, 5);
    EXPECT_EQ(at(), std::pair(1.0 * DQ_RESX, 0.0));
    pDXin->OnMousePosition(5, 5);
    EXPECT_EQ(at(), std::pair(5.0, 5.0));
    SETMOUSE(NAN, 3);
    pDXin->OnMousePosition(6, 6);
    MOUSESTATE(x, y, b1, b2);
    EXPECT_EQ(y, 6);
    SETMOUSE(100, 100);
}

// A press and its release that both come before the program looks are still seen,
// once, by every reader that looks afterwards; a key or button held reads as held.
TEST_F(InputTest, PressesBetweenReadingsAreSeenOncePerReader) {
    Press(kA);
    Press(kA, false);
    const double first = KEY(kA), again = KEY(kA);
    EXPECT_EQ(std::tuple(first, again, KEY(kS)), std::tuple(1.0, 0.0, 0.0));
    EXPECT_EQ(Inkey(), "a");
    EXPECT_EQ(Inkey(), "");
    // The same character twice, each typed between two readings: two characters.
    Press(kA);
    Press(kA, false);
    EXPECT_EQ(Inkey(), "a");
    Press(kA);
    Press(kA, false);
    EXPECT_EQ(Inkey(), "a");
    EXPECT_EQ(Inkey(), "");
    EXPECT_EQ(KEY(kA), 1);  // KEY keeps its own mark of the presses
    EXPECT_EQ(KEY(kA), 0);
    Press(kS);
    EXPECT_EQ(KEY(kS), 1);
    EXPECT_EQ(KEY(kS), 1);
    Press(kS, false);
    EXPECT_EQ(KEY(kS), 0);
    // A key tapped while another is held types its own character, and the held one
    // does not type a second time.
    Press(kA);
    EXPECT_EQ(Inkey(), "a");
    Press(kS);
    Press(kS, false);
    EXPECT_EQ(Inkey(), "s");
    EXPECT_EQ(Inkey(), "");
    Press(kA, false);

    double x, y, b1, b2;
    auto buttons = [&] {
        MOUSESTATE(x, y, b1, b2);
        return std::vector{b1, b2, MOUSEBUTTON(1), MOUSEBUTTON(2), MOUSEBUTTON(3)};
    };
    for (int b : {0, 1, 2}) {
        plat::PushMouseButton(b, true);
        plat::PushMouseButton(b, false);
    }
    EXPECT_EQ(buttons(), (std::vector<double>{1, 1, 1, 1, 1}));  // the middle one only through MOUSEBUTTON
    EXPECT_EQ(buttons(), (std::vector<double>{0, 0, 0, 0, 0}));
    plat::PushMouseButton(0, true);
    plat::PushMouseButton(0, false);
    EXPECT_EQ(MOUSEBUTTON(1.9), 1);  // truncated; MOUSESTATE has not looked yet
    EXPECT_EQ(buttons(), (std::vector<double>{1, 0, 0, 0, 0}));
    plat::PushMouseButton(2, true);
    EXPECT_EQ(buttons(), (std::vector<double>{0, 0, 0, 0, 1}));
    EXPECT_EQ(MOUSEBUTTON(3), 1);
    plat::PushMouseButton(2, false);
    for (double bad : {0.0, 0.5, 4.0, -1.0, 1e300, std::nan("")}) EXPECT_EQ(MOUSEBUTTON(bad), 0) << bad;
    // The window losing the focus lets go of a held button: its release will not come.
    plat::PushMouseButton(1, true);
    EXPECT_EQ(buttons(), (std::vector<double>{0, 1, 0, 1, 0}));
    plat::PushFocusLost();
    EXPECT_EQ(buttons(), (std::vector<double>{0, 0, 0, 0, 0}));
    // The wheel: steps since the last call, away from the user positive.
    plat::PushMouseWheel(2);
    plat::PushMouseWheel(-5);
    EXPECT_EQ(MOUSEWHEEL(), -3);
    EXPECT_EQ(MOUSEWHEEL(), 0);
    plat::PushMouseWheel(1);
    EXPECT_EQ(MOUSEWHEEL(), 1);
    // A press is kept for the frame it came in and the next one, not for later readers.
    pPrsm->SetNoWait(true);
    Press(kA);
    Press(kA, false);
    plat::PushMouseButton(2, true);
    plat::PushMouseButton(2, false);
    SHOWSCREEN();
    EXPECT_EQ(KEY(kA), 1);
    Press(kA);
    Press(kA, false);
    SHOWSCREEN();
    SHOWSCREEN();
    EXPECT_EQ(std::tuple(KEY(kA), MOUSEBUTTON(3)), std::tuple(0.0, 0.0));
    EXPECT_EQ(Inkey(), "");
}

// KEYHIT: throughout a frame, the keys that went down in the frame before; every press
// counts in exactly one frame, however it falls between the frames.
TEST_F(InputTest, KeyHitCountsEveryPressInExactlyOneFrame) {
    pPrsm->SetNoWait(true);
    SHOWSCREEN();  // the keys let go before the test are up in the frames too
    // The frames in which KEYHIT(A) is 1, over `frames` frames; in the first, before
    // it ends, A goes down ('d') and up ('u') and KEY reads it ('k') as `act` says.
    auto hits = [](int frames, const std::string& act) {
        for (char c : act) c == 'k' ? void(KEY(kA)) : Press(kA, c == 'd');
        std::string seen;
        for (int f = 0; f < frames; ++f) {
            SHOWSCREEN();
            const double hit = KEYHIT(kA);
            if (KEYHIT(kA) != hit) return std::string("unstable");
            seen += hit ? '1' : '.';
        }
        return seen;
    };
    EXPECT_EQ(hits(3, "d"), "1..");  // held on: one hit
    EXPECT_EQ(hits(3, "u"), "...");
    EXPECT_EQ(hits(3, "du"), "1..");  // within one frame
    // Let go and pressed again within one frame while held: a frame up between.
    EXPECT_EQ(hits(1, "d"), "1");
    EXPECT_EQ(hits(4, "ud"), ".1..");
    EXPECT_EQ(hits(1, "u"), ".");
    // Three taps in one frame: three hits, one every other frame.
    EXPECT_EQ(hits(7, "dududu"), "1.1.1..");
    // A tap, then a press held, within one frame: two hits.
    EXPECT_EQ(hits(5, "dud"), "1.1..");
    EXPECT_EQ(hits(1, "u"), ".");
    // A press the program has read with KEY is still a hit in the next frame.
    EXPECT_EQ(hits(2, "duk"), "1.");
    for (double bad : {-1.0, 256.0, std::nan("")}) EXPECT_EQ(KEYHIT(bad), 0) << bad;
    EXPECT_EQ(KEYHIT(kS), 0);
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
    // While recording, frames stand still in a wait, but Escape still ends it.
    EXPECT_EQ(RunScenario("keywait", {"TOLVANE_RECORD=" + dir / "waited.txt"}).Outcome(), "0 ");
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
    const std::string recorded = ReadText(rec);
    EXPECT_EQ(recorded.find("mouse", recorded.find('\n')), std::string::npos);  // no mouse, no mouse lines
}

// Mouse lines in key scripts move the mouse, turn its wheel and hold its buttons; a
// recorded run with the mouse replays to the same frames; a bad mouse line is refused
// with its line number.
TEST(InputRuns, MouseLinesInKeyScripts) {
    TempDir dir;
    const std::vector<std::string> run = {"TOLVANE_FRAMES=6", "TOLVANE_NO_WAIT=1"};
    auto with = [&](const std::string& var, const std::string& file) {
        std::vector<std::string> env = run;
        env.push_back(var + "=" + file);
        return env;
    };
    // frame: KEY(30) KEYHIT(30) x y b1 b2 MOUSEBUTTON(3) MOUSEWHEEL
    const std::string script = WriteText(
        dir / "mouse.txt", "2 30\n2 mouse 10 -5 0 1\n3 mouse 0 0 2\n4 mouse 7 0 -1 3 # middle\n5\n6 mouse 0 0 0\n");
    EXPECT_EQ(RunScenario("mouse", with("TOLVANE_INPUT", script)).Outcome(),
              "0 1 0 0 100 100 0 0 0 0\n2 1 1 110 95 1 0 0 0\n3 1 0 110 95 0 0 0 2\n4 1 0 117 95 0 0 1 -1\n"
              "5 0 0 117 95 0 0 1 0\n6 0 0 117 95 0 0 0 0\ntyped \n");

    const std::string rec = dir / "rec.txt";
    ChildResult live = RunScenario("mouse-live", with("TOLVANE_RECORD", rec));
    EXPECT_EQ(live.status, 0);
    // The click within frame 2 is held in frame 3; the tap of A is a hit in frame 4; the
    // pointer's place in frame 5 is the position in frame 6, and replays as movement.
    EXPECT_NE(live.out.find("3 0 0 105 103 1 0 0 1\n"), std::string::npos) << live.out;
    EXPECT_NE(live.out.find("\n4 1 1 103 103 0 0 1 0\n"), std::string::npos) << live.out;
    EXPECT_NE(live.out.find("\n6 0 0 40 50 "), std::string::npos) << live.out;
    EXPECT_NE(ReadText(rec).find("6 mouse -63 -53 "), std::string::npos) << ReadText(rec);
    EXPECT_NE(ReadText(rec).find("3 mouse 5 3 1 1\n"), std::string::npos) << ReadText(rec);
    // X went down for KEYWAIT in frame 5: the frames after see its character as the
    // replay (whose KEYWAIT does not wait) does.
    EXPECT_NE(live.out.find("typed x\n"), std::string::npos) << live.out;
    EXPECT_EQ(RunScenario("mouse-live", with("TOLVANE_INPUT", rec)).Outcome(), live.Outcome()) << ReadText(rec);

    ChildResult r = RunScenario("mouse", with("TOLVANE_INPUT", WriteText(dir / "bad.txt", "1 30\n2 mouse 5\n")));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("bad.txt line 2: a mouse line needs dx, dy and wheel steps"), std::string::npos) << r.err;
    const std::pair<const char*, const char*> bad[] = {
        {"1 mouse 1 2 3 4\n", "line 1: '4' is not a mouse button"},
        {"1 mouse 1 x 0\n", "line 1: 'x'"},
        {"# two for one frame\n2 mouse 0 0 0\n2 mouse 1 1 0\n", "line 3"},
        {"1 mouse 0 0 40000\n", "line 1"},
        {"3 mouse 0 0 0\n2 30\n", "line 2"},
        {"1 mouse 0 0 0 1\n1 mouse\n", "line 2"}};
    for (auto [text, where] : bad) {
        std::vector<__KeyScriptLine> lines;
        std::string error;
        EXPECT_FALSE(__ParseKeyScript(text, "s", lines, error)) << text;
        EXPECT_NE(error.find(std::string("s ") + where), std::string::npos) << error;
    }
}

}  // namespace
