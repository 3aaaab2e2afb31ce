// The frame as a child window of a host's window, on a private Xvfb server: it opens, draws,
// takes a synthetic click and closes cleanly.
#include "gui_test_util.h"
#include "xvfb_server.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

using namespace guitest;

namespace {

class Flag : public CControlListener {
public:
    std::vector<float> values;
    void valueChanged(CControl* c) override { values.push_back(c->getValue()); }
};

bool waitFor(const std::function<bool()>& condition, CFrame& frame) {
    for (int i = 0; i < 200; ++i) {
        frame.idle();
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST(X11Window, OpensInTheHostWindowDrawsTakesAClickAndCloses) {
    std::string binary = findXvfb();
    if (binary.empty()) GTEST_SKIP() << "Xvfb is not installed";
    Xvfb server(binary);
    ASSERT_FALSE(server.name.empty()) << "Xvfb did not start";

    // The host: its own connection and a top-level window at the screen's corner.
    Display* host = XOpenDisplay(server.name.c_str());
    ASSERT_NE(host, nullptr);
    Window parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 300, 200, 0, 0,
                                        WhitePixel(host, DefaultScreen(host)));
    XMapWindow(host, parent);
    XSync(host, False);

    CFrame frame(CRect(0, 0, 200, 100));
    CBitmap* blue = new CBitmap(200, 100);
    {
        cairo_t* cr = cairo_create(blue->getSurface());
        cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_paint(cr);
        cairo_destroy(cr);
    }
    frame.setBackground(blue);
    blue->forget();
    Flag listener;
    // The button's images: red while off, green while on.
    CBitmap* images = new CBitmap(40, 80);
    {
        cairo_t* cr = cairo_create(images->getSurface());
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_paint(cr);
        cairo_set_source_rgb(cr, 0, 1, 0);
        cairo_rectangle(cr, 0, 40, 40, 40);
        cairo_fill(cr);
        cairo_destroy(cr);
    }
    COnOffButton* button = new COnOffButton(CRect(20, 20, 60, 60), &listener, 1, images);
    images->forget();
    frame.addView(button);

    EXPECT_FALSE(frame.open(nullptr, server.name.c_str())) << "no parent, no window";
    EXPECT_FALSE(frame.open((void*)(uintptr_t)0x7fffff, server.name.c_str()))
        << "a parent that does not exist fails the open, and nothing else";
    EXPECT_FALSE(frame.isOpen());
    ASSERT_TRUE(frame.open((void*)(uintptr_t)parent, server.name.c_str()));
    EXPECT_TRUE(frame.isOpen());
    Window child = (Window)frame.getWindowID();

    // The child is a mapped window of the parent, at its corner, of the frame's size.
    ASSERT_TRUE(waitFor(
        [&] {
            XWindowAttributes wa;
            XSync(host, False);
            return XGetWindowAttributes(host, child, &wa) && wa.map_state == IsViewable;
        },
        frame));
    Window root, up, *children = nullptr;
    unsigned int n = 0;
    XQueryTree(host, parent, &root, &up, &children, &n);
    ASSERT_EQ(n, 1u);
    EXPECT_EQ(children[0], child);
    XFree(children);
    XWindowAttributes wa;
    XGetWindowAttributes(host, child, &wa);
    EXPECT_EQ(wa.x, 0);
    EXPECT_EQ(wa.y, 0);
    EXPECT_EQ(wa.width, 200);
    EXPECT_EQ(wa.height, 100);

    // What the frame drew reaches the window.
    auto shows = [&](int x, int y, unsigned long rgb) {
        return waitFor(
            [&] {
                XSync(host, False);
                XImage* img = XGetImage(host, child, x, y, 1, 1, AllPlanes, ZPixmap);
                if (!img) return false;
                unsigned long p = XGetPixel(img, 0, 0);
                XDestroyImage(img);
                return (p & 0xffffff) == rgb;
            },
            frame);
    };
    EXPECT_TRUE(shows(5, 5, 0x0000ff)) << "blue background on screen";
    EXPECT_TRUE(shows(40, 40, 0xff0000)) << "the button, off";

    // A click through the X server reaches the button.
    XTestFakeMotionEvent(host, DefaultScreen(host), 40, 40, 0);
    XTestFakeButtonEvent(host, 1, True, 0);
    XTestFakeButtonEvent(host, 1, False, 0);
    XFlush(host);
    ASSERT_TRUE(waitFor([&] { return !listener.values.empty(); }, frame));
    EXPECT_EQ(listener.values, std::vector<float>{1.f});
    EXPECT_EQ(button->getValue(), 1.f);
    // Redrawn where it changed; hidden, its place shows the background again.
    EXPECT_TRUE(shows(40, 40, 0x00ff00)) << "the button, on";
    button->setVisible(false);
    EXPECT_TRUE(shows(40, 40, 0x0000ff)) << "the hidden button's place";
    button->setVisible(true);

    frame.close();
    EXPECT_FALSE(frame.isOpen());
    frame.idle(); // harmless while closed
    XSync(host, False);
    XQueryTree(host, parent, &root, &up, &children, &n);
    EXPECT_EQ(n, 0u) << "the child window is gone";
    if (children) XFree(children);

    // A frame opens again after closing. At 200 % its window doubles, and presses are divided
    // back: window pixel 118 is frame pixel 59, inside the button; 122 is 61, outside.
    ASSERT_TRUE(frame.open((void*)(uintptr_t)parent, server.name.c_str()));
    child = (Window)frame.getWindowID();
    frame.setZoom(2);
    ASSERT_TRUE(waitFor(
        [&] {
            XSync(host, False);
            return XGetWindowAttributes(host, child, &wa) && wa.width == 400 && wa.height == 200;
        },
        frame));
    for (int at : {122, 118}) {
        XTestFakeMotionEvent(host, DefaultScreen(host), at, at, 0);
        XTestFakeButtonEvent(host, 1, True, 0);
        XTestFakeButtonEvent(host, 1, False, 0);
    }
    XSync(host, False);
    ASSERT_TRUE(waitFor([&] { return listener.values.size() > 1; }, frame));
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        frame.idle();
    }
    EXPECT_EQ(listener.values, (std::vector<float>{1.f, 0.f}));
    frame.close();

    XDestroyWindow(host, parent);
    XCloseDisplay(host);
}

TEST(X11Window, OpeningWithoutAServerFailsCleanly) {
    CFrame frame(CRect(0, 0, 10, 10));
    EXPECT_FALSE(frame.open((void*)(uintptr_t)1, ":4321"));
    EXPECT_FALSE(frame.isOpen());
    frame.idle();
    frame.close();
}
