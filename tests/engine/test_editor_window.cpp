// Brakka's editor as a host shows it: build/Brakka.so loaded with dlopen, the editor asked for its
// size and opened as the child of an X11 window of a private X server, then clicked, dragged and
// Ctrl+Alt-clicked through the server (XTest). Each gesture is checked in the engine (through the
// AEffect record) and on screen, at 100 % and at 200 %, where every point is twice as far from
// the corner and must still reach the same control.
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
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using brakka_test::FakeHost;
namespace L = brakka_layout;
namespace fs = std::filesystem;

namespace {

constexpr int kTagStepSize = 108, kTagPlay = 109, kTagSwing = 112, kTagSync = 113;
constexpr int kTagPattern = 114, kTagLevel = 118;

// One X server for the whole program, with the user's files in a private folder.
class EditorWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string binary = guitest::findXvfb();
        if (binary.empty()) return;
        server = new guitest::Xvfb(binary, "2200x1400x24");
        if (server->name.empty()) return;
        setenv("DISPLAY", server->name.c_str(), 1);
        char tmpl[] = "/tmp/brakka-editor-window-XXXXXX";
        config = mkdtemp(tmpl);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        unsetenv("GDK_SCALE");
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
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

    // The host's window for the editor, at the screen's corner, of the size the editor asks.
    Window makeParent(int width, int height) {
        Window w = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, (unsigned)width,
                                       (unsigned)height, 0, 0, BlackPixel(x, DefaultScreen(x)));
        XMapWindow(x, w);
        XSync(x, False);
        return w;
    }

    // Idles the editor, as a host does 25 times a second (here faster), until the condition
    // holds; false after two seconds.
    bool idleUntil(FakeHost& host, const std::function<bool()>& condition) {
        for (int i = 0; i < 400; ++i) {
            XSync(x, False);
            host.dispatch(effEditIdle);
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    void idleSome(FakeHost& host) {
        for (int i = 0; i < 6; ++i) {
            XSync(x, False);
            host.dispatch(effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        XSync(x, False);
    }

    // Pointer gestures at logical editor pixels, scaled to the window by the zoom.
    void moveTo(double lx, double ly) {
        XTestFakeMotionEvent(x, DefaultScreen(x), (int)std::lround(lx * zoom),
                             (int)std::lround(ly * zoom), 0);
    }
    void button(bool down) { XTestFakeButtonEvent(x, 1, down, 0); }
    void click(double lx, double ly) {
        moveTo(lx, ly);
        button(true);
        button(false);
        XSync(x, False);
    }
    void drag(double fromX, double fromY, double toX, double toY) {
        moveTo(fromX, fromY);
        button(true);
        for (int i = 1; i <= 4; ++i)
            moveTo(fromX + (toX - fromX) * i / 4, fromY + (toY - fromY) * i / 4);
        button(false);
        XSync(x, False);
    }
    void keys(bool down) {
        for (KeySym k : {XK_Control_L, XK_Alt_L})
            XTestFakeKeyEvent(x, XKeysymToKeycode(x, k), down, 0);
    }

    // The screen's pixels of a logical rectangle of the editor.
    std::vector<unsigned long> grab(const L::Rect& r) {
        XSync(x, False);
        int left = (int)(r.left * zoom), top = (int)(r.top * zoom);
        int w = (int)(r.width() * zoom), h = (int)(r.height() * zoom);
        XImage* img = XGetImage(x, DefaultRootWindow(x), left, top, (unsigned)w, (unsigned)h,
                                AllPlanes, ZPixmap);
        std::vector<unsigned long> out;
        if (!img) return out;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                out.push_back(XGetPixel(img, i, j) & 0xffffff);
        XDestroyImage(img);
        return out;
    }
    static int changed(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b) {
        if (a.size() != b.size()) return -1;
        int n = 0;
        for (size_t i = 0; i < a.size(); ++i)
            n += a[i] != b[i];
        return n;
    }

    static guitest::Xvfb* server;
    static std::string config;
    Display* x = nullptr;
    double zoom = 1;
};
guitest::Xvfb* EditorWindow::server = nullptr;
std::string EditorWindow::config;

// A rectangle around a point.
L::Rect around(int cx, int cy, int half) {
    return L::Rect{cx - half, cy - half, cx + half, cy + half};
}

// The offsets at which two chunks differ.
std::vector<size_t> differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    std::vector<size_t> out;
    if (a.size() != b.size()) return {(size_t)-1};
    for (size_t i = 0; i < a.size(); ++i)
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
    CRirezariResource menuFont(20001);
    setResourceLookup(nullptr, nullptr);
    const double itemHeight = menuFont.getMaxCharacterHeight();
    ASSERT_GT(itemHeight, 0);

    double levelStep = -1; // what the knob drag moved at 100 %
    for (double z : {1.0, 2.0}) {
        SCOPED_TRACE(testing::Message() << "zoom " << z);
        zoom = z;
        ASSERT_TRUE(BrakkaEditorSettings::saveZoom(z));
        FakeHost host;
        ASSERT_NE(host.loadLibrary(BRAKKA_MODULE_PATH), nullptr) << host.loadError();
        host.setChunk(brakka_test::blankBankChunk(), false);
        host.openAndResume(44100.0f, 64);
        ASSERT_NE(host.effect()->flags & effFlagsHasEditor, 0);

        ERect* rect = nullptr;
        ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
        ASSERT_NE(rect, nullptr);
        const int width = rect->right - rect->left, height = rect->bottom - rect->top;
        EXPECT_EQ(width, (int)(L::kWidth * z));
        EXPECT_EQ(height, (int)(L::kHeight * z));
        Window parent = makeParent(width, height);
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent), 1);
        // Drawn: the background is not the parent's black.
        ASSERT_TRUE(idleUntil(host, [&] {
            std::vector<unsigned long> p = grab(around(L::kWidth / 2, 20, 4));
            return !p.empty() && p[0] != 0;
        }));

        // Note steps: the first step of the kick, then the sixth of snare 9. Each sets one byte
        // of the program, 32 bytes per voice apart.
        std::vector<uint8_t> before = host.getChunk(true);
        const L::Rect cell = L::rowRect(L::kNoteRow, 2).offset(5 * L::kStepWidth, 0);
        const L::Rect cellOnly{cell.left, cell.top, cell.left + L::kStepWidth, cell.bottom};
        std::vector<unsigned long> cellShown = grab(cellOnly);
        click(L::kNoteRow.left + 8, (L::kNoteRow.top + L::kNoteRow.bottom) / 2);
        std::vector<uint8_t> first;
        ASSERT_TRUE(idleUntil(host, [&] { return (first = host.getChunk(true)) != before; }));
        click(cellOnly.left + 8, (cellOnly.top + cellOnly.bottom) / 2);
        std::vector<uint8_t> second;
        ASSERT_TRUE(idleUntil(host, [&] { return (second = host.getChunk(true)) != first; }));
        std::vector<size_t> d1 = differences(before, first), d2 = differences(first, second);
        ASSERT_EQ(d1.size(), 1u);
        ASSERT_EQ(d2.size(), 1u);
        EXPECT_EQ(d2[0] - d1[0], 2u * 32 + 5);
        EXPECT_EQ(first[d1[0]], 255);
        idleSome(host);
        EXPECT_GT(changed(cellShown, grab(cellOnly)), 20) << "the step lights up";

        // A level knob dragged by 40 pixels (towards the middle) moves as far at every zoom.
        const L::Rect knob = L::rowRect(L::kLevel, 0);
        const float level = host.getParameter(kTagLevel);
        std::vector<unsigned long> knobShown = grab(knob);
        const double kx = (knob.left + knob.right) / 2.0, ky = (knob.top + knob.bottom) / 2.0;
        drag(kx, ky, kx, level > 0.5f ? ky + 40 : ky - 40);
        ASSERT_TRUE(idleUntil(host, [&] { return host.getParameter(kTagLevel) != level; }));
        idleSome(host);
        const double moved = std::fabs(host.getParameter(kTagLevel) - level);
        EXPECT_GT(moved, 0.05);
        if (levelStep < 0) levelStep = moved;
        EXPECT_NEAR(moved, levelStep, 0.011);
        EXPECT_GT(changed(knobShown, grab(knob)), 5);

        // The step-size menu: pressed it opens at the current item; dragging two items away
        // and releasing chooses that item.
        const int item = (int)std::lround(host.getParameter(kTagStepSize) * 4);
        const int target = item >= 2 ? item - 2 : item + 2;
        const L::Rect menu = L::kStepSizeMenu;
        std::vector<unsigned long> menuShown = grab(menu);
        const double my = (menu.top + menu.bottom) / 2.0;
        drag(menu.left + 20, my, menu.left + 20, my + (target - item) * itemHeight);
        ASSERT_TRUE(idleUntil(
            host, [&] { return std::lround(host.getParameter(kTagStepSize) * 4) == target; }));
        idleSome(host);
        EXPECT_GT(changed(menuShown, grab(menu)), 5);

        // The pattern selector: the seventh of sixteen cells.
        const L::Rect sel = L::kPatternSelector;
        const double cellWidth = sel.width() / 16.0;
        std::vector<unsigned long> selShown = grab(sel);
        click(sel.left + 6.5 * cellWidth, (sel.top + sel.bottom) / 2.0);
        ASSERT_TRUE(
            idleUntil(host, [&] { return std::lround(host.getParameter(kTagPattern) * 15) == 6; }));
        idleSome(host);
        EXPECT_GT(changed(selShown, grab(sel)), 20);

        // Ctrl+Alt on the swing slider arms MIDI learn (the control is marked), two messages of
        // a controller bind it (the mark goes), and the controller then drives swing.
        const L::Rect swing = L::kSwing;
        const L::Rect marked{swing.left - 4, swing.top - 4, swing.right + 4, swing.bottom + 4};
        std::vector<unsigned long> swingShown = grab(marked);
        const float swingValue = host.getParameter(kTagSwing);
        keys(true);
        click((swing.left + swing.right) / 2.0, (swing.top + swing.bottom) / 2.0);
        keys(false);
        XSync(x, False);
        ASSERT_TRUE(idleUntil(host, [&] { return changed(swingShown, grab(marked)) > 20; }))
            << "the armed control is marked";
        EXPECT_EQ(host.getParameter(kTagSwing), swingValue) << "the click moved nothing";
        sendController(host, 21, 5);
        sendController(host, 21, 6);
        ASSERT_TRUE(idleUntil(host, [&] { return changed(swingShown, grab(marked)) < 20; }))
            << "the mark goes once the controller is bound";
        sendController(host, 21, 127);
        EXPECT_NEAR(host.getParameter(kTagSwing), 1.0f, 1e-3);
        sendController(host, 21, 0);
        EXPECT_NEAR(host.getParameter(kTagSwing), 0.0f, 1e-3);

        // A host that refuses the size of 200 % chosen in the zoom menu keeps the window as it
        // is: the editor's rectangle stays the open window's until the next open.
        auto refused = std::make_shared<std::atomic<bool>>(false);
        if (z == 1.0) {
            host.hook = [refused](VstInt32 opcode, VstInt32, VstIntPtr, void*,
                                  float) -> std::optional<VstIntPtr> {
                if (opcode != audioMasterSizeWindow) return std::nullopt;
                *refused = true;
                return 0;
            };
            const L::Rect zm = L::kZoomMenu;
            const double zy = (zm.top + zm.bottom) / 2.0;
            drag(zm.left + 20, zy, zm.left + 20, zy + 2 * itemHeight);
            ASSERT_TRUE(idleUntil(host, [&] { return refused->load(); }));
            ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
            EXPECT_EQ(rect->right - rect->left, L::kWidth) << "the open window's size";
        }

        host.dispatch(effEditClose);
        if (z == 1.0) {
            host.hook = nullptr;
            ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
            EXPECT_EQ(rect->right - rect->left, 2 * L::kWidth) << "the next open's size";
        }
        Window root, up, *children = nullptr;
        unsigned int n = 0;
        XQueryTree(x, parent, &root, &up, &children, &n);
        EXPECT_EQ(n, 0u) << "the editor's window is gone";
        if (children) XFree(children);
        XDestroyWindow(x, parent);
        host.close();
        std::error_code ec;
        fs::remove(fs::path(config) / "Zunder Works" / "Brakka MIDI Assignments.txt", ec);
    }
}

// A host may open and close the editor at any time while its audio thread plays.
TEST_F(EditorWindow, OpensAndClosesTwoHundredTimesWhilePlaying) {
    zoom = 1;
    ASSERT_TRUE(BrakkaEditorSettings::saveZoom(1));
    FakeHost host;
    ASSERT_NE(host.loadLibrary(BRAKKA_MODULE_PATH), nullptr) << host.loadError();
    host.openAndResume(44100.0f, 128);
    host.setParameter(kTagSync, brakka_test::syncValue(1));
    host.setParameter(kTagPlay, 1.0f);
    Window parent = makeParent(L::kWidth, L::kHeight);

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
        if (i % 20 == 0) idleSome(host); // now and then long enough to draw and take events
        host.dispatch(effEditClose);
    }
    stop.store(true);
    audio.join();
    EXPECT_GT(blocks.load(), 200) << "the audio thread ran throughout";
    Window root, up, *children = nullptr;
    unsigned int n = 0;
    XQueryTree(x, parent, &root, &up, &children, &n);
    EXPECT_EQ(n, 0u);
    if (children) XFree(children);
    XDestroyWindow(x, parent);
    host.close();
}
