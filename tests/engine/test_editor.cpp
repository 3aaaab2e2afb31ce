// The editor against the engine: what an opened editor shows (the engine's calls made while it was
// closed change nothing), what the user's clicks (mouse events through the frame, as the window
// delivers them) do to the engine, and the engine's answers reaching the views through idle. (Zoom,
// the host's window and gestures through a real X server: test_editor_window.)
#include "BrakkaEditor.h"
#include "CEGControl.h"
#include "CHighlightFrame.h"
#include "CZUBrakkaControls.h"
#include "CZUVPopupMenu.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
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
    h.set(kKickTuneTag, 0.3f);
    h.set(kLevelTag + 4, 0.7f);
    h.set(kRandomVelocityTag + 2, 100 / 127.0f);
    h.set(kStepSizeTag, stepSizeValue(3)); // 16 steps
    h.fillRow(6, {0, 2, 4, 6});
    h.playInternal();
    h.render(44100 / 3);                 // the sequencer is somewhere in the bar
    h.set(kPatternTag, patternValue(5)); // queued while playing
    // The engine's calls made while the editor is closed are dropped.
    const unsigned char none[32] = {};
    editor.setCurrentStep(7);
    editor.noteRowChanged(6, none);
    editor.patternChanged(9);
    editor.highlightControl(kKickTuneTag, true);
    editor.setParameter(kKickTuneTag, 1.0f);
    editor.setCurrentVoice(4);
    editor.idle();

    ASSERT_TRUE(editor.openOffscreen());
    CHighlightFrame* frame = editor.getFrame();
    ASSERT_NE(frame, nullptr);

    // Every parameter's control shows the engine's value (the pattern selector: the pattern).
    int checked = 0;
    for (int tag = 0; tag < kNumParameters; ++tag) {
        if (tag == kPatternTag) continue;
        const float v = shown(frame, tag);
        if (std::isnan(v)) continue; // the few parameters without a control (a decay curve)
        ++checked;
        EXPECT_NEAR(v, engine.getParameter(tag), 1.0 / 254) << "tag " << tag;
    }
    EXPECT_GE(checked, 250);
    auto* selector = static_cast<CZUBrakkaPatternSelector*>(frame->getControlFromID(kPatternTag));
    EXPECT_TRUE(selector->isPending());
    EXPECT_FLOAT_EQ(selector->getValue(), 5 / 15.0f);
    EXPECT_FLOAT_EQ(selector->getPreviousValue(), 0.0f);

    // Rows, the playing step, the pattern length and the selected voice's sets.
    const int step = engine.getCurrentStep();
    EXPECT_GT(step, 0);
    auto* hats = static_cast<CZUBrakkaMultiButton*>(
        frame->getControlFromID(L::kTagNoteRows + 6 * kNumSteps));
    unsigned char row[32];
    engine.getNoteRow(6, row);
    for (int s = 0; s < 32; ++s) {
        EXPECT_EQ(hats->getValue((short)s) > 0.5f, row[s] != 0) << s;
        EXPECT_EQ(hats->getSliderHighlighted((short)s), s == step) << s;
        EXPECT_EQ(hats->getSliderDisabled((short)s), s >= 16) << s;
    }
    EXPECT_EQ(editor.getCurrentVoice(), 0);
    EXPECT_EQ(frame->getPupilControl(), nullptr);
    EXPECT_TRUE(frame->getControlFromID(kKickTuneTag)->isVisible());
    EXPECT_FALSE(frame->getControlFromID(kSnare8TuneTag)->isVisible());

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
             auto* row = static_cast<CZUBrakkaMultiButton*>(
                 frame->getControlFromID(L::kTagNoteRows + 9 * kNumSteps));
             return note(9, 0) == 0 && row->getValue((short)0) == 0.0f;
         }},
        {"touching a sound knob points the value row at it",
         [&] {
             click(frame, centre(L::panelItemRect(9, 0))); // rimshot Tune
             click(frame, stepPoint(L::kValueRow, 4, 0.05));
         },
         [&] {
             return editor.getModulationTarget() == kRimshotTuneTag &&
                    mod(kRimshotTuneTag, 4) > 0.9f;
         }},
        {"a fill shape goes to the modulation row",
         [&] { click(frame, centre(L::kFillButton.offset(2 * L::kFillButtonSpacing, 0))); },
         [&] {
             return std::fabs(mod(kRimshotTuneTag, 0) - 1.0f) < 1e-6f &&
                    mod(kRimshotTuneTag, 16) < 0.6f;
         }},
        {"the row-enable button sets the modulation row's random-on-loop",
         [&] { click(frame, centre(L::kRowEnable)); },
         [&] {
             return engine.getModRandomOnLoop(kRimshotTuneTag) &&
                    !engine.getVelocityRandomOnLoop(9);
         }},
        {"a second click on the selected voice returns to its velocities",
         [&] { click(frame, voiceRow(9)); },
         [&] { return editor.getModulationTarget() == -1 && editor.getCurrentVoice() == 9; }},
        {"the row-enable button then sets the velocity row's",
         [&] { click(frame, centre(L::kRowEnable)); },
         [&] { return engine.getVelocityRandomOnLoop(9); }},
        {"a pan slider is modulatable too", [&] { click(frame, centre(L::rowRect(L::kPan, 3))); },
         [&] { return editor.getModulationTarget() == kPanTag + 3; }},
    };
    for (const Case& c : cases) {
        c.act();
        EXPECT_TRUE(c.engineSide()) << c.what;
        editor.idle();
    }

    // 64 on the random-velocity read-out reaches the engine as 64/127 and reads back as 64.
    CControl* readout = frame->getControlFromID(kRandomVelocityTag + 9);
    readout->setValue(64.0f);
    editor.valueChanged(readout);
    EXPECT_FLOAT_EQ(engine.getParameter(kRandomVelocityTag + 9), 64.0f / 127.0f);
    editor.idle();
    EXPECT_EQ(readout->getValue(), 64.0f);
    editor.close();
}
