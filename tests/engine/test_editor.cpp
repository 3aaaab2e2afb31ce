// The editor against the engine: what an opened editor shows, what the user's clicks (mouse
// events through the frame, as the window delivers them) do to the engine, and that the
// engine's calls reach the views only through idle, never while the editor is closed.
#include "BrakkaEditor.h"
#include "CEGControl.h"
#include "CHighlightFrame.h"
#include "CZUBrakkaControls.h"
#include "CZUVPopupMenu.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

using namespace brakka_test;
namespace L = brakka_layout;

namespace {

BrakkaEditor& editorOf(EngineHarness& h) {
    return *static_cast<BrakkaEditor*>(h.engine().getEditor());
}

CPoint centre(const L::Rect& r) {
    return CPoint((r.left + r.right) / 2.0, (r.top + r.bottom) / 2.0);
}

void click(CFrame* frame, CPoint p, long modifiers = 0) {
    long buttons = kLButton | modifiers, up = modifiers;
    frame->onMouseDown(p, buttons);
    frame->onMouseMoved(p, buttons);
    frame->onMouseUp(p, up);
}

// Chooses an item of a pop-up menu: pressed it opens, released on the item it chooses.
void choose(CHighlightFrame* frame, const L::Rect& menuRect, long tag, int item) {
    CPoint p = centre(menuRect);
    long buttons = kLButton, up = 0;
    frame->onMouseDown(p, buttons);
    auto* menu = static_cast<CZUVPopupMenu*>(frame->getControlFromID(tag));
    CPoint at(p.x, menu->getPoppedRect().top + (item + 0.5) * menu->getItemHeight());
    frame->onMouseMoved(at, buttons);
    frame->onMouseUp(at, up);
}

// The point of a value-row or note-row step, at height fraction y (0 top, 1 bottom).
CPoint stepPoint(const L::Rect& row, int step, double y) {
    return CPoint(row.left + (step + 0.5) * L::kStepWidth, row.top + y * row.height());
}

// What a control shows for a parameter, in the parameter's normalized scale.
float shown(CHighlightFrame* frame, int tag) {
    CControl* c = frame->getControlFromID(tag);
    if (!c) return NAN;
    if (c->isTypeOf("CEGControl")) {
        auto* h = static_cast<CEGControl::CEGControlHandle*>(
            static_cast<CEGControl*>(c)->getHandleFromTag(tag));
        if (h->curvatureTag == tag) return (1.0f - h->getCurvature()) / 2.0f;
    }
    float v =
        c->isTypeOf("CZUControl") ? static_cast<CZUControl*>(c)->getValue(tag) : c->getValue();
    if (tag >= kRandomVelocityTag && tag < kRandomVelocityTag + 12) v /= 127.0f;
    return v;
}

} // namespace

TEST(Editor, OpeningWhilePlayingShowsTheEngineAtOnce) {
    EngineHarness h;
    Brakka& engine = h.engine();
    BrakkaEditor& editor = editorOf(h);
    h.set(0, 0.3f);
    h.set(kLevelTag + 4, 0.7f);
    h.set(kRandomVelocityTag + 2, 100 / 127.0f);
    h.set(kStepSizeTag, stepSizeValue(3)); // 16 steps
    h.fillRow(6, {0, 2, 4, 6});
    h.playInternal();
    h.render(44100 / 3);                 // the sequencer is somewhere in the bar
    h.set(kPatternTag, patternValue(5)); // queued while playing

    ASSERT_TRUE(editor.openOffscreen());
    CHighlightFrame* frame = editor.getFrame();
    ASSERT_NE(frame, nullptr);

    // Every parameter's control shows the engine's value (the pattern selector: the pattern).
    int checked = 0;
    for (int tag = 0; tag < kNumParameters; ++tag) {
        if (tag == kPatternTag) continue;
        const float v = shown(frame, tag);
        if (std::isnan(v)) continue; // the few parameters without a control (decay curve 92)
        ++checked;
        EXPECT_NEAR(v, engine.getParameter(tag), 1.0 / 254) << "tag " << tag;
    }
    EXPECT_GE(checked, 250);
    auto* selector = static_cast<CZUBrakkaPatternSelector*>(frame->getControlFromID(114));
    EXPECT_TRUE(selector->isPending());
    EXPECT_FLOAT_EQ(selector->getValue(), 5 / 15.0f);
    EXPECT_FLOAT_EQ(selector->getPreviousValue(), 0.0f);

    // Rows, the playing step, the pattern length and the selected voice's sets.
    const int step = engine.getCurrentStep();
    EXPECT_GT(step, 0);
    auto* hats = static_cast<CZUBrakkaMultiButton*>(frame->getControlFromID(267 + 6 * 32));
    unsigned char row[32];
    engine.getNoteRow(6, row);
    for (int s = 0; s < 32; ++s) {
        EXPECT_EQ(hats->getValue((short)s) > 0.5f, row[s] != 0) << s;
        EXPECT_EQ(hats->getSliderHighlighted((short)s), s == step) << s;
        EXPECT_EQ(hats->getSliderDisabled((short)s), s >= 16) << s;
    }
    EXPECT_EQ(editor.getCurrentVoice(), 0);
    EXPECT_TRUE(frame->getControlFromID(0)->isVisible());
    EXPECT_FALSE(frame->getControlFromID(25)->isVisible());

    // From here on the views follow the engine through idle: the next steps and the switch.
    h.render(44100 * 5 / 2);
    editor.idle();
    EXPECT_TRUE(hats->getSliderHighlighted((short)engine.getCurrentStep()));
    EXPECT_EQ(engine.getCurrentPattern(), 5);
    EXPECT_FALSE(selector->isPending());
    EXPECT_FLOAT_EQ(selector->getValue(), 5 / 15.0f);
    editor.close();
}

TEST(Editor, ClicksReachTheEngine) {
    EngineHarness h;
    Brakka& engine = h.engine();
    BrakkaEditor& editor = editorOf(h);
    ASSERT_TRUE(editor.openOffscreen());
    CHighlightFrame* frame = editor.getFrame();
    auto voiceRow = [](int v) {
        return CPoint(L::kVoiceSelector.left + 20, L::kRowsTop + (v + 0.5) * L::kRowHeight);
    };
    auto velocity = [&](int voice, int step) {
        float r[32];
        engine.getVelocityRow(voice, r);
        return r[step];
    };
    auto note = [&](int voice, int step) {
        unsigned char r[32];
        engine.getNoteRow(voice, r);
        return (int)r[step];
    };
    auto mod = [&](int tag, int step) {
        float r[32];
        engine.getModRow(tag, r);
        return r[step];
    };

    struct Case {
        const char* what;
        std::function<void()> act;
        std::function<bool()> engineSide;
    };
    const Case cases[] = {
        {"a note step turns on",
         [&] { click(frame, stepPoint(L::rowRect(L::kNoteRow, 2), 5, 0.5)); },
         [&] { return note(2, 5) == 255; }},
        {"and off again", [&] { click(frame, stepPoint(L::rowRect(L::kNoteRow, 2), 5, 0.5)); },
         [&] { return note(2, 5) == 0; }},
        {"a velocity step of the selected voice (kick)",
         [&] { click(frame, stepPoint(L::kValueRow, 3, 0.05)); },
         [&] { return velocity(0, 3) > 0.9f && editor.getModulationTarget() == -1; }},
        {"another voice selected: its velocities",
         [&] {
             click(frame, voiceRow(9));
             click(frame, stepPoint(L::kValueRow, 7, 0.95));
         },
         [&] { return editor.getCurrentVoice() == 9 && velocity(9, 7) < 0.1f; }},
        {"the random-size menu of the selected voice",
         [&] { choose(frame, L::kRandomSize, kRandomSizeTag + 9, 4); },
         [&] { return std::fabs(engine.getParameter(kRandomSizeTag + 9) - 4 / 6.0f) < 1e-6f; }},
        {"its Clear empties the row on screen too",
         [&] {
             h.fillRow(9);
             editor.idle();
             click(frame, centre(L::kRandomClear));
         },
         [&] {
             editor.idle();
             auto* row = static_cast<CZUBrakkaMultiButton*>(frame->getControlFromID(267 + 9 * 32));
             return note(9, 0) == 0 && row->getValue((short)0) == 0.0f;
         }},
        {"touching a sound knob points the value row at it",
         [&] {
             click(frame, centre(L::panelItemRect(9, 0))); // rimshot Tune, tag 106
             click(frame, stepPoint(L::kValueRow, 4, 0.05));
         },
         [&] { return editor.getModulationTarget() == 106 && mod(106, 4) > 0.9f; }},
        {"a fill shape goes to the modulation row",
         [&] { click(frame, centre(L::kFillButton.offset(2 * L::kFillButtonSpacing, 0))); },
         [&] { return std::fabs(mod(106, 0) - 1.0f) < 1e-6f && mod(106, 16) < 0.6f; }},
        {"the row-enable button sets the modulation row's random-on-loop",
         [&] { click(frame, centre(L::kRowEnable)); },
         [&] { return engine.getModRandomOnLoop(106) && !engine.getVelocityRandomOnLoop(9); }},
        {"a second click on the selected voice returns to its velocities",
         [&] { click(frame, voiceRow(9)); },
         [&] { return editor.getModulationTarget() == -1 && editor.getCurrentVoice() == 9; }},
        {"the row-enable button then sets the velocity row's",
         [&] { click(frame, centre(L::kRowEnable)); },
         [&] { return engine.getVelocityRandomOnLoop(9); }},
        {"a pan slider is modulatable too", [&] { click(frame, centre(L::rowRect(L::kPan, 3))); },
         [&] { return editor.getModulationTarget() == 133; }},
        {"Ctrl+Alt click arms MIDI learn for the control's parameter",
         [&] { click(frame, centre(L::rowRect(L::kLevel, 4)), kControl | kAlt); },
         [&] { return engine.getLearnState() != 0 && engine.getLearnTag() == 122; }},
        {"a pattern cell while stopped switches at once",
         [&] { click(frame, CPoint(L::kPatternSelector.left + 3.5 * 34, 100)); },
         [&] { return engine.getCurrentPattern() == 3; }},
        {"a pop-up menu choice sets the step size",
         [&] { choose(frame, L::kStepSizeMenu, kStepSizeTag, 3); },
         [&] { return std::fabs(engine.getParameter(kStepSizeTag) - 0.75f) < 1e-6f; }},
    };
    for (const Case& c : cases) {
        c.act();
        EXPECT_TRUE(c.engineSide()) << c.what;
        editor.idle();
    }
    // The engine's answers reached the views through idle.
    EXPECT_EQ(frame->getPupilControl(), frame->getControlFromID(122));
    auto* firstRow = static_cast<CZUBrakkaMultiButton*>(frame->getControlFromID(267));
    EXPECT_TRUE(firstRow->getSliderDisabled(16)); // 1 x 16
    EXPECT_FLOAT_EQ(
        static_cast<CZUBrakkaPatternSelector*>(frame->getControlFromID(114))->getValue(),
        3 / 15.0f);

    // 64 on the random-velocity read-out reaches the engine as 64/127 and reads back as 64.
    CControl* readout = frame->getControlFromID(kRandomVelocityTag + 9);
    readout->setValue(64.0f);
    editor.valueChanged(readout);
    EXPECT_FLOAT_EQ(engine.getParameter(kRandomVelocityTag + 9), 64.0f / 127.0f);
    editor.idle();
    EXPECT_EQ(readout->getValue(), 64.0f);
    editor.close();
}

TEST(Editor, EngineCallsWhileClosedChangeNothing) {
    EngineHarness h;
    BrakkaEditor& editor = editorOf(h);
    // The engine's calls made while closed are dropped ...
    unsigned char full[32];
    std::fill(full, full + 32, 255);
    editor.setCurrentStep(7);
    editor.noteRowChanged(0, full);
    editor.patternChanged(9);
    editor.setPendingPattern(11);
    editor.highlightControl(5, true);
    editor.modRowChanged(652);
    editor.setParameter(0, 1.0f);
    editor.setCurrentVoice(4);
    editor.idle();
    EXPECT_FALSE(editor.isOpen());
    EXPECT_EQ(editor.getFrame(), nullptr);

    // ... so an editor opened afterwards shows only the engine's state.
    ASSERT_TRUE(editor.openOffscreen());
    editor.idle();
    CHighlightFrame* frame = editor.getFrame();
    auto* kick = static_cast<CZUBrakkaMultiButton*>(frame->getControlFromID(267));
    for (int s = 0; s < 32; ++s)
        EXPECT_LT(kick->getValue((short)s), 0.5f);
    EXPECT_FALSE(kick->getSliderHighlighted(7));
    EXPECT_EQ(frame->getPupilControl(), nullptr);
    EXPECT_EQ(editor.getCurrentVoice(), 0);
    EXPECT_FLOAT_EQ(shown(frame, 0), h.get(0));
    EXPECT_FLOAT_EQ(frame->getControlFromID(114)->getValue(), 0.0f);

    // Closed again, the engine's changes go nowhere; reopened, the editor catches up.
    editor.close();
    h.fillRow(0);
    h.set(0, 0.8f);
    ASSERT_TRUE(editor.openOffscreen());
    kick = static_cast<CZUBrakkaMultiButton*>(editor.getFrame()->getControlFromID(267));
    EXPECT_GT(kick->getValue((short)31), 0.5f);
    EXPECT_FLOAT_EQ(shown(editor.getFrame(), 0), 0.8f);
    editor.close();
}

TEST(Editor, TheZoomMenuResizesAndIsRemembered) {
    char folder[] = "/tmp/brakka-zoom-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("XDG_CONFIG_HOME", folder, 1);
    unsetenv("GDK_SCALE");
    {
        EngineHarness h;
        BrakkaEditor& editor = editorOf(h);
        ERect* r = nullptr;
        ASSERT_TRUE(editor.getRect(&r));
        EXPECT_EQ(r->right, L::kWidth);
        ASSERT_TRUE(editor.openOffscreen());
        CHighlightFrame* frame = editor.getFrame();
        choose(frame, L::kZoomMenu, L::kTagZoom, 2);
        EXPECT_EQ(frame->getZoom(), 2.0);
        editor.getRect(&r);
        EXPECT_EQ(r->right, 2 * L::kWidth);
        EXPECT_EQ(r->bottom, 2 * L::kHeight);
        editor.close();
    }
    {
        EngineHarness h; // a new instance opens at the remembered zoom
        ERect* r = nullptr;
        editorOf(h).getRect(&r);
        EXPECT_EQ(r->right, 2 * L::kWidth);
    }
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(folder);
}
