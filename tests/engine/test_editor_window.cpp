// Brakka's editor as a host shows it: build/Brakka.so loaded with dlopen, the editor asked for its
// size and opened as the child of an X11 window of a private X server, then clicked, dragged and
// Ctrl+Alt-clicked through the server (XTest). Each gesture is checked in the engine (through the
// AEffect record) and on screen, at 100 % and at 200 % (chosen in the zoom menu at 100 % and
// remembered for the next instance), where every point is twice as far from the corner and must
// still reach the same control.
#include "BrakkaEditorLayout.h"
#include "BrakkaEditorSettings.h"
#include "BrakkaResources.h"
#include "CRirezariResource.h"
#include "engine_support.h"
#include "fake_host.h"
#include "xvfb_server.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>

using brakka_test::FakeHost;
namespace L = brakka_layout;
namespace fs = std::filesystem;

namespace {

// One X server for the whole program, with the user's files in a private folder.
class EditorWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!guitest::Xvfb::installed()) return;
        server = new guitest::Xvfb("2200x1400x24");
        setenv("DISPLAY", server->name.c_str(), 1);
        char tmpl[] = "/tmp/brakka-editor-window-XXXXXX";
        config = mkdtemp(tmpl);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        unsetenv("GDK_SCALE");
    }
    static void TearDownTestSuite() {
        delete server;
        std::error_code ec;
        if (!config.empty()) fs::remove_all(config, ec);
    }
    void SetUp() override {
        if (!server) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(server->name.empty()) << "Xvfb did not start";
        x = XOpenDisplay(server->name.c_str());
        ASSERT_NE(x, nullptr);
    }
    void TearDown() override {
        if (x) XCloseDisplay(x);
    }

    // Loads the plug-in and opens its editor in a host window at the screen's corner.
    Window openEditor(FakeHost& host, int width, int height) {
        Window w = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, (unsigned)width,
                                       (unsigned)height, 0, 0, BlackPixel(x, DefaultScreen(x)));
        XMapWindow(x, w);
        XSync(x, False);
        EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)w), 1);
        return w;
    }
    // The editor's window is gone from the host's.
    void expectClosed(Window parent) {
        Window root, up, *children = nullptr;
        unsigned int n = 0;
        XQueryTree(x, parent, &root, &up, &children, &n);
        EXPECT_EQ(n, 0u) << "the editor's window is gone";
        if (children) XFree(children);
        XDestroyWindow(x, parent);
    }

    // Idles the editor, as a host does 25 times a second (here faster), until the condition
    // holds (false after two seconds), or a few times without one.
    bool idleUntil(FakeHost& host, const std::function<bool()>& condition = nullptr) {
        for (int i = 0; i < (condition ? 400 : 6); ++i) {
            XSync(x, False);
            host.dispatch(effEditIdle);
            if (condition && condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        XSync(x, False);
        return !condition;
    }

    // Pointer gestures at logical editor pixels, scaled to the window by the zoom.
    void moveTo(double lx, double ly) {
        XTestFakeMotionEvent(x, DefaultScreen(x), (int)std::lround(lx * zoom),
                             (int)std::lround(ly * zoom), 0);
    }
    void drag(double fromX, double fromY, double toX, double toY) {
        moveTo(fromX, fromY);
        XTestFakeButtonEvent(x, 1, True, 0);
        for (int i = 1; i <= 4; ++i)
            moveTo(fromX + (toX - fromX) * i / 4, fromY + (toY - fromY) * i / 4);
        XTestFakeButtonEvent(x, 1, False, 0);
        XSync(x, False);
    }
    void click(double lx, double ly) { drag(lx, ly, lx, ly); }
    void click(const L::Rect& r) { click((r.left + r.right) / 2.0, (r.top + r.bottom) / 2.0); }

    // The screen's pixels of a logical rectangle of the editor.
    std::vector<unsigned long> grab(const L::Rect& r) {
        XSync(x, False);
        const int w = (int)(r.width() * zoom), h = (int)(r.height() * zoom);
        XImage* img = XGetImage(x, DefaultRootWindow(x), (int)(r.left * zoom), (int)(r.top * zoom),
                                (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        std::vector<unsigned long> out;
        for (int j = 0; img && j < h; ++j)
            for (int i = 0; i < w; ++i)
                out.push_back(XGetPixel(img, i, j) & 0xffffff);
        if (img) XDestroyImage(img);
        return out;
    }
    // How many pixels of the rectangle changed since `before` was grabbed.
    int changed(const std::vector<unsigned long>& before, const L::Rect& r) {
        const std::vector<unsigned long> now = grab(r);
        int n = now.size() == before.size() ? 0 : -1;
        for (size_t i = 0; n >= 0 && i < now.size(); ++i)
            n += now[i] != before[i];
        return n;
    }

    static inline guitest::Xvfb* server = nullptr;
    static inline std::string config;
    Display* x = nullptr;
    double zoom = 1;
};

// The offsets at which two chunks differ.
std::vector<size_t> differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    std::vector<size_t> out;
    for (size_t i = 0; i < a.size() && a.size() == b.size(); ++i)
        if (a[i] != b[i]) out.push_back(i);
    return out;
}

void sendController(FakeHost& host, int controller, int value) {
    host.sendMidi(0xB0, (unsigned char)controller, (unsigned char)value);
    host.process(64);
}

} // namespace

TEST_F(EditorWindow, GesturesReachTheEngineAndTheScreenAtEveryZoom) {
    setResourceLookup(brakkaFindResource, brakkaResourceInfo);
    const double itemHeight = CRirezariResource(20001).getMaxCharacterHeight();
    setResourceLookup(nullptr, nullptr);
    ASSERT_GT(itemHeight, 0);

    double levelStep = -1; // what the knob drag moved at 100 %
    for (double z : {1.0, 2.0}) {
        SCOPED_TRACE(testing::Message() << "zoom " << z);
        zoom = z;
        if (z == 1.0) {
            ASSERT_TRUE(BrakkaEditorSettings::saveZoom(z));
        }
        FakeHost host;
        ASSERT_NE(host.loadLibrary(BRAKKA_MODULE_PATH), nullptr) << host.loadError();
        host.setChunk(brakka_test::blankBankChunk(), false);
        host.openAndResume(44100.0f, 64);
        ERect* rect = nullptr;
        ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
        EXPECT_EQ(rect->right - rect->left, (int)(L::kWidth * z));
        EXPECT_EQ(rect->bottom - rect->top, (int)(L::kHeight * z));
        const Window parent = openEditor(host, rect->right, rect->bottom);
        // Drawn: the background is not the parent's black.
        ASSERT_TRUE(idleUntil(host, [&] {
            std::vector<unsigned long> p = grab(L::Rect{L::kWidth / 2, 20, L::kWidth / 2 + 1, 21});
            return !p.empty() && p[0] != 0;
        }));

        // Note steps: the first step of the kick, then the sixth of snare 9. Each sets one byte
        // of the program, 32 bytes per voice apart, and lights up on screen.
        std::vector<uint8_t> before = host.getChunk(true), first, second;
        const L::Rect cell = L::rowRect(L::kNoteRow, 2).offset(5 * L::kStepWidth, 0);
        const L::Rect step{cell.left, cell.top, cell.left + L::kStepWidth, cell.bottom};
        const std::vector<unsigned long> stepShown = grab(step);
        click(L::kNoteRow.left + 8, (L::kNoteRow.top + L::kNoteRow.bottom) / 2);
        ASSERT_TRUE(idleUntil(host, [&] { return (first = host.getChunk(true)) != before; }));
        click(step);
        ASSERT_TRUE(idleUntil(host, [&] { return (second = host.getChunk(true)) != first; }));
        const std::vector<size_t> d1 = differences(before, first), d2 = differences(first, second);
        ASSERT_EQ(d1.size() * d2.size(), 1u);
        EXPECT_EQ(d2[0] - d1[0], 2u * 32 + 5);
        EXPECT_EQ(first[d1[0]], 255);
        idleUntil(host);
        EXPECT_GT(changed(stepShown, step), 20) << "the step lights up";

        // A level knob dragged by 40 pixels (towards the middle) moves as far at every zoom.
        const L::Rect knob = L::rowRect(L::kLevel, 0);
        const float level = host.getParameter(kLevelTag);
        const std::vector<unsigned long> knobShown = grab(knob);
        const double kx = (knob.left + knob.right) / 2.0, ky = (knob.top + knob.bottom) / 2.0;
        drag(kx, ky, kx, level > 0.5f ? ky + 40 : ky - 40);
        ASSERT_TRUE(idleUntil(host, [&] { return host.getParameter(kLevelTag) != level; }));
        idleUntil(host);
        const double moved = std::fabs(host.getParameter(kLevelTag) - level);
        EXPECT_GT(moved, 0.05);
        if (levelStep < 0) levelStep = moved;
        EXPECT_NEAR(moved, levelStep, 0.011);
        EXPECT_GT(changed(knobShown, knob), 5);

        // The step-size menu: pressed it opens at the current item; dragging two items away
        // and releasing chooses that item.
        const int item = (int)std::lround(host.getParameter(kStepSizeTag) * 4);
        const int target = item >= 2 ? item - 2 : item + 2;
        const L::Rect menu = L::kStepSizeMenu;
        const std::vector<unsigned long> menuShown = grab(menu);
        const double my = (menu.top + menu.bottom) / 2.0;
        drag(menu.left + 20, my, menu.left + 20, my + (target - item) * itemHeight);
        ASSERT_TRUE(idleUntil(
            host, [&] { return std::lround(host.getParameter(kStepSizeTag) * 4) == target; }));
        idleUntil(host);
        EXPECT_GT(changed(menuShown, menu), 5);

        // The pattern selector: the seventh of sixteen cells.
        const L::Rect sel = L::kPatternSelector;
        const std::vector<unsigned long> selShown = grab(sel);
        click(sel.left + 6.5 * sel.width() / 16.0, (sel.top + sel.bottom) / 2.0);
        ASSERT_TRUE(
            idleUntil(host, [&] { return std::lround(host.getParameter(kPatternTag) * 15) == 6; }));
        idleUntil(host);
        EXPECT_GT(changed(selShown, sel), 20);

        // Ctrl+Alt on the swing slider arms MIDI learn (the control is marked), two messages of
        // a controller bind it (the mark goes), and the controller then drives swing.
        const L::Rect marked{L::kSwing.left - 4, L::kSwing.top - 4, L::kSwing.right + 4,
                             L::kSwing.bottom + 4};
        const std::vector<unsigned long> swingShown = grab(marked);
        const float swing = host.getParameter(kSwingTag);
        for (bool down : {true, false}) {
            for (KeySym k : {XK_Control_L, XK_Alt_L})
                XTestFakeKeyEvent(x, XKeysymToKeycode(x, k), down, 0);
            if (down) click(L::kSwing);
        }
        ASSERT_TRUE(idleUntil(host, [&] { return changed(swingShown, marked) > 20; }))
            << "the armed control is marked";
        EXPECT_EQ(host.getParameter(kSwingTag), swing) << "the click moved nothing";
        sendController(host, 21, 5);
        sendController(host, 21, 6);
        ASSERT_TRUE(idleUntil(host, [&] { return changed(swingShown, marked) < 20; }))
            << "the mark goes once the controller is bound";
        sendController(host, 21, 127);
        EXPECT_NEAR(host.getParameter(kSwingTag), 1.0f, 1e-3);

        // A host that refuses the size of 200 % chosen in the zoom menu keeps the window as it
        // is: the editor's rectangle stays the open window's until the next open.
        if (z == 1.0) {
            std::atomic<bool> refused{false};
            host.hook = [&](VstInt32 opcode, VstInt32, VstIntPtr, void*,
                            float) -> std::optional<VstIntPtr> {
                if (opcode != audioMasterSizeWindow) return std::nullopt;
                refused = true;
                return 0;
            };
            const double zy = (L::kZoomMenu.top + L::kZoomMenu.bottom) / 2.0;
            drag(L::kZoomMenu.left + 20, zy, L::kZoomMenu.left + 20, zy + 2 * itemHeight);
            ASSERT_TRUE(idleUntil(host, [&] { return refused.load(); }));
            ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
            EXPECT_EQ(rect->right - rect->left, L::kWidth) << "the open window's size";
            host.hook = nullptr;
        }
        host.dispatch(effEditClose);
        ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
        EXPECT_EQ(rect->right - rect->left, 2 * L::kWidth) << "the next open's size";
        expectClosed(parent);
        host.close();
        std::error_code ec;
        fs::remove(fs::path(config) / "Zunder Works" / "Brakka MIDI Assignments.txt", ec);
    }
}

// A host may open and close the editor at any time while its audio thread plays.
TEST_F(EditorWindow, OpensAndClosesTwoHundredTimesWhilePlaying) {
    ASSERT_TRUE(BrakkaEditorSettings::saveZoom(1));
    FakeHost host;
    ASSERT_NE(host.loadLibrary(BRAKKA_MODULE_PATH), nullptr) << host.loadError();
    host.openAndResume(44100.0f, 128);
    host.setParameter(kSyncTag, brakka_test::syncValue(1));
    host.setParameter(kPlayTag, 1.0f);
    // A parent window that does not exist fails the open, and nothing else.
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)0x7fffff), 0);
    const Window parent = openEditor(host, L::kWidth, L::kHeight);
    host.dispatch(effEditClose);

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        while (!stop.load()) {
            host.sendMidi(0x90, 36 + (int)(blocks.load() % 40), 100); // voices and patterns
            host.process(128);
            blocks.fetch_add(1);
        }
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent), 1) << i;
        host.dispatch(effEditIdle);
        if (i % 20 == 0) idleUntil(host); // now and then long enough to draw and take events
        host.dispatch(effEditClose);
    }
    stop.store(true);
    audio.join();
    EXPECT_GT(blocks.load(), 200) << "the audio thread ran throughout";
    expectClosed(parent);
    host.close();
}
