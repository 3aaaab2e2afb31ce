// brakka-gallery: draws every editor control in several states into one picture.
//
//   brakka-gallery OUT.png
#include "BrakkaResources.h"
#include "CCharacterDisplay.h"
#include "CEGControl.h"
#include "CHighlightFrame.h"
#include "CMomentaryButton.h"
#include "CZUBrakkaControls.h"
#include "CZUVPopupMenu.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// A bitmap drawn with Cairo.
CBitmap* makeBitmap(int w, int h, const std::function<void(cairo_t*)>& paint) {
    CBitmap* b = new CBitmap(w, h);
    cairo_t* cr = cairo_create(b->getSurface());
    paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(b->getSurface());
    return b;
}

// A knob face: a grey disc with a darker rim.
CBitmap* knobFace(int w, int h, double cx, double cy, double r) {
    return makeBitmap(w, h, [=](cairo_t* cr) {
        cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
        cairo_set_source_rgb(cr, 0.75, 0.76, 0.78);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.35, 0.36, 0.38);
        cairo_set_line_width(cr, 1.5);
        cairo_stroke(cr);
    });
}

// count images of w x h stacked vertically; image k gets brightness from dark to light.
CBitmap* strip(int w, int h, int count) {
    return makeBitmap(w, h * count, [=](cairo_t* cr) {
        for (int k = 0; k < count; ++k) {
            double v = count > 1 ? (double)k / (count - 1) : 1;
            cairo_rectangle(cr, 1, k * h + 1, w - 2, h - 2);
            cairo_set_source_rgb(cr, 0.2 + 0.6 * v, 0.25 + 0.5 * v, 0.2);
            cairo_fill_preserve(cr);
            cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
        }
    });
}

class Gallery {
public:
    Gallery() : frame(new CHighlightFrame(CRect(0, 0, 760, 560))) {
        caption = new CRirezariResource(20000);
        numbers = new CRirezariResource(20001);
        CBitmap* bg = makeBitmap(760, 560, [](cairo_t* cr) {
            cairo_set_source_rgb(cr, 0.17, 0.19, 0.21);
            cairo_paint(cr);
        });
        frame->setBackground(bg);
        bg->forget();
    }
    ~Gallery() {
        frame->forget();
        caption->forget();
        numbers->forget();
    }

    void label(CCoord x, CCoord y, const char* text, short justification = 0, CCoord w = 520) {
        auto* d = new CZUTextDisplay(CRect(x, y, x + w, y + 14), caption, 100, justification);
        d->setDisplayString(text);
        frame->addView(d);
    }

    void build();
    bool write(const char* path) { return frame->writePNG(path); }

    CHighlightFrame* frame;
    CRirezariResource* caption;
    CRirezariResource* numbers;
};

void Gallery::build() {
    // Step rows: values, beat markers, disabled steps, the playing step.
    label(10, 6, "CZUBrakkaMultiButton: steps, 16-step pattern (disabled), playing step 5");
    const long rowTag = 267;
    for (int v = 0; v < 3; ++v) {
        auto* row = new CZUBrakkaMultiButton(CRect(10, 22 + 14 * v, 522, 35 + 14 * v), nullptr,
                                             rowTag + 32 * v);
        std::vector<unsigned char> bytes(32, 0);
        for (int s = 0; s < 32; ++s)
            bytes[(size_t)s] = (s % (v + 3) == 0 || s == 6) ? 255 : 0;
        row->setAllValues(bytes);
        if (v == 1) row->enableSliders(16);
        row->highlightOneSlider(v == 2 ? 21 : 5);
        frame->addView(row);
    }

    // Value rows: bipolar modulation (0.5 draws nothing) and unipolar velocities.
    label(10, 70, "CZUBrakkaMultiSlider: modulation (bipolar), velocities (unipolar)");
    auto* mod = new CZUBrakkaMultiSlider(CRect(10, 86, 522, 146), nullptr, 652);
    std::vector<float> values(32);
    for (int s = 0; s < 32; ++s)
        values[(size_t)s] = 0.5f + 0.5f * (float)std::sin(s * 0.45);
    values[8] = 0.5f;
    mod->setAllValues(values);
    mod->enableSliders(24);
    mod->highlightOneSlider(10);
    frame->addView(mod);
    auto* vel = new CZUBrakkaMultiSlider(CRect(10, 150, 522, 190), nullptr, 700);
    vel->setDrawStyle(kZUMultisliderUnipolar);
    for (int s = 0; s < 32; ++s)
        values[(size_t)s] = (s % 4 == 0) ? 1.f : 0.3f + 0.02f * s;
    vel->setAllValues(values);
    frame->addView(vel);

    // Pattern selectors over a cell bitmap: settled, and pending (9 chosen while 3 plays).
    label(540, 6, "CZUBrakkaPatternSelector");
    CBitmap* cells = makeBitmap(208, 14, [this](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
        cairo_set_line_width(cr, 1);
        for (int k = 0; k < 16; ++k) {
            cairo_rectangle(cr, k * 13 + 0.5, 0.5, 12, 13);
            cairo_stroke(cr);
        }
        (void)this;
    });
    auto* settled = new CZUBrakkaPatternSelector(CRect(540, 22, 748, 36), nullptr, 114, cells);
    settled->setValue(3);
    settled->completePendingChange();
    frame->addView(settled);
    auto* pending = new CZUBrakkaPatternSelector(CRect(540, 40, 748, 54), nullptr, 714, cells);
    pending->setValue(3);
    pending->completePendingChange();
    pending->setValue(9.f / 15.f);
    frame->addView(pending);
    cells->forget();

    // Transport: play button off and on; a momentary button released and held.
    label(540, 62, "Play off/on, CMomentaryButton up/held");
    auto* playOff = new CZUBrakkaPlayButton(CRect(540, 78, 560, 98), nullptr, 109, 20);
    auto* playOn = new CZUBrakkaPlayButton(CRect(566, 78, 586, 98), nullptr, 709, 20);
    playOn->setValue(1);
    auto* up = new CMomentaryButton(CRect(600, 78, 620, 98), nullptr, 110);
    auto* held = new CMomentaryButton(CRect(626, 78, 646, 98), nullptr, 710);
    held->setValue(1);
    for (CView* v : std::vector<CView*>{playOff, playOn, up, held})
        frame->addView(v);

    // Vector knobs: 0, 0.5, 1, disabled, 4 positions at 0.3 (shows 0.25).
    label(10, 200, "CZUVKnob: 0, .5, 1, off, 4 pos", 0, 205);
    float knobValues[] = {0.f, 0.5f, 1.f, 0.7f, 0.3f};
    for (int k = 0; k < 5; ++k) {
        auto* knob = new CZUVKnob(CRect(10 + 40 * k, 216, 42 + 40 * k, 248), nullptr, 720 + k,
                                  MakeCColor(200, 200, 200), MakeCColor(255, 153, 0),
                                  MakeCColor(90, 90, 90), MakeCColor(90, 90, 90));
        if (k == 4) knob->setNumberOfPositions(4);
        knob->setValue(knobValues[k]);
        if (k == 3) knob->setEnabled(false);
        frame->addView(knob);
    }

    // Captioned knobs and small knobs on drawn faces; one knob outlined by the frame.
    label(220, 200, "CZUKitboxVKnob (outlined: highlight), CZUBrakkaSmallVKnob 0/0.5/1");
    CBitmap* face = knobFace(60, 60, 30, 30, 14);
    const char* names[] = {"Tune", "Decay", "Noise Lvl"};
    float kitValues[] = {0.f, 0.35f, 1.f};
    for (int k = 0; k < 3; ++k) {
        auto* kit =
            new CZUKitboxVKnob(CRect(220 + 64 * k, 216, 280 + 64 * k, 276), nullptr, 730 + k,
                               caption, names[k], kWhiteCColor, kWhiteCColor, face);
        kit->setValue(kitValues[k]);
        frame->addView(kit);
    }
    face->forget();
    CBitmap* small = knobFace(26, 26, 13, 13, 11);
    for (int k = 0; k < 3; ++k) {
        auto* s = new CZUBrakkaSmallVKnob(CRect(420 + 32 * k, 230, 446 + 32 * k, 256), nullptr,
                                          118 + k, small);
        s->setValue(0.5f * k);
        frame->addView(s);
    }
    small->forget();
    frame->setHighlightColor(0, 176, 100, 255);
    frame->setHighlightControl(731, true);

    // Number read-outs.
    label(540, 110, "CZUBrakkaVelocityNumerical 0 / 100, CZUNumerical");
    auto* seq = new CZUBrakkaVelocityNumerical(CRect(540, 126, 580, 142), nullptr, 214, numbers);
    seq->setMax(127);
    seq->setValue(0);
    auto* hundred =
        new CZUBrakkaVelocityNumerical(CRect(590, 126, 630, 142), nullptr, 215, numbers);
    hundred->setMax(127);
    hundred->setValue(100);
    auto* tempo = new CZUNumerical(CRect(640, 126, 680, 142), nullptr, 266, numbers, 3, 0, true);
    tempo->setMax(300);
    tempo->setValue(120);
    auto* ms = new CZUNumerical(CRect(680, 126, 748, 142), nullptr, 740, numbers, 3, 1);
    ms->setMax(500);
    ms->setValue(12.5f);
    ms->setSuffixString(" ms");
    for (CView* v : std::vector<CView*>{seq, hundred, tempo, ms})
        frame->addView(v);

    // Pop-up menus: closed, and popped over the panel.
    label(540, 150, "CZUVPopupMenu closed / popped");
    CColor menuBg = MakeCColor(60, 60, 60, 240);
    auto* sync =
        new CZUVPopupMenu(CRect(540, 166, 620, 180), nullptr, 113, numbers, kTransparentCColor,
                          menuBg, menuBg, kBlackCColor, kRedCColor, kRedCColor);
    sync->setItemList({"Host", "Internal", "MIDI Note"});
    sync->setValue(0.5f);
    frame->addView(sync);
    auto* stepSize =
        new CZUVPopupMenu(CRect(640, 230, 720, 244), nullptr, 108, numbers, kTransparentCColor,
                          menuBg, menuBg, kBlackCColor, kRedCColor, kRedCColor);
    stepSize->setItemList({"1 x 32", "2 x 16", "1 x 16T", "1 x 16", "1 x 8T"});
    stepSize->setValue(0.5f);
    frame->addView(stepSize);
    stepSize->pop();

    // Envelope graphs: grid with curved segments, and without grid with straight segments.
    label(10, 290, "CEGARControl: grid, attack +0.5, decay -0.7 / no grid, straight");
    auto* eg = new CEGARControl(CRect(10, 306, 163, 399), nullptr, 20, 21, -1, 22, 23,
                                eg_fill_color, eg_bg_color, eg_grid_color, eg_line_color,
                                kWhiteCColor, eg_bg_color, true);
    eg->setValue(20, 0.6f);
    eg->setValue(21, (0.5f + 1) / 2);
    eg->setValue(22, 0.5f);
    eg->setValue(23, (-0.7f + 1) / 2);
    frame->addView(eg);
    auto* flat = new CEGARControl(CRect(180, 306, 333, 399), nullptr, 30, 31, -1, 32, 33,
                                  eg_fill_color, eg_bg_color, eg_grid_color, eg_line_color,
                                  kWhiteCColor, eg_bg_color, false);
    flat->setValue(30, 0.2f);
    flat->setValue(31, 0.5f);
    flat->setValue(32, 0.9f);
    flat->setValue(33, 0.5f);
    frame->addView(flat);

    // Toolkit controls the editor places: slider, selector, vertical switch, on/off, movie.
    label(350, 290, "CHorizontalSlider, CSelectorSwitch, CVerticalSwitch, COnOff, CMovie");
    auto* pan =
        new CHorizontalSlider(CRect(350, 306, 450, 316), nullptr, 130, 0, 94, nullptr, nullptr);
    pan->setValue(0.3f);
    auto* bus = new CSelectorSwitch(CRect(350, 324, 410, 334), nullptr, 142, 6, 10, nullptr);
    bus->setValue(0.4f);
    CBitmap* twelve = strip(12, 10, 12);
    auto* voice = new CVerticalSwitch(CRect(470, 306, 482, 316), nullptr, 265, 12, 10, 12, twelve);
    voice->setValue(1.f - 3.f / 11.f);
    twelve->forget();
    CBitmap* two = strip(16, 16, 2);
    auto* mute = new COnOffButton(CRect(500, 306, 516, 322), nullptr, 154, two);
    mute->setValue(1);
    auto* solo = new CMovieButton(CRect(520, 306, 536, 322), nullptr, 166, 16, two);
    auto* panel = new CMovieBitmap(CRect(540, 306, 556, 322), nullptr, 694, 2, 16, two);
    panel->setValue(1);
    two->forget();
    for (CView* v : std::vector<CView*>{pan, bus, voice, mute, solo, panel})
        frame->addView(v);

    // Captions in the three justifications.
    label(350, 350, "CZUTextDisplay left");
    label(350, 366, "centre", 1, 200);
    label(350, 382, "right", 2, 200);
    auto* faded = new CZUTextDisplay(CRect(350, 398, 550, 412), caption, 40, 0);
    faded->setDisplayString("Kickdrum Velocity (alpha 128)");
    faded->setAlpha(128);
    frame->addView(faded);

    // The second font.
    auto* digits = new CZUTextDisplay(CRect(10, 420, 500, 436), numbers, 60, 0);
    digits->setDisplayString("0123456789 SEQ 1 x 16T MIDI Note Internal");
    frame->addView(digits);
    label(10, 440, "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz", 0, 500);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: brakka-gallery OUT.png\n");
        return 2;
    }
    setResourceLookup(brakkaFindResource, brakkaResourceInfo);
    Gallery g;
    g.build();
    if (!g.write(argv[1])) {
        std::fprintf(stderr, "brakka-gallery: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
