// brakka-artgen: draws the editor's artwork with Cairo: the background (10000) and every bitmap
// the editor uses (10001..10037), each at 100 % as "N.png" and at twice the pixels as
// "N@2x.png". Sizes and positions come from the editor's layout header, so the pictures fit
// the controls by construction.
//
//   brakka-artgen FONT_DIR OUT_DIR
//
// FONT_DIR holds Debian's DejaVu fonts (DejaVuSansCondensed.ttf and its bold cut).
#include "BrakkaEditorLayout.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

using namespace brakka_layout;

namespace {

// --- palette --------------------------------------------------------------------------------
struct Colour {
    double r, g, b, a;
};
constexpr Colour rgb(int r, int g, int b, double a = 1.0) {
    return Colour{r / 255.0, g / 255.0, b / 255.0, a};
}
const Colour kWindowTop = rgb(30, 33, 39);
const Colour kWindowBottom = rgb(20, 22, 26);
const Colour kPanel = rgb(36, 40, 47);
const Colour kPanelEdge = rgb(54, 60, 70);
const Colour kInset = rgb(22, 24, 28);
const Colour kText = rgb(214, 218, 224);
const Colour kDim = rgb(132, 140, 152);
const Colour kFaint = rgb(88, 95, 106);
const Colour kAmber = rgb(255, 184, 64);
const Colour kGreen = rgb(76, 217, 120);

Colour family(int f, double a = 1.0) {
    const RGB& c = kFamilyColor[f];
    return rgb(c.r, c.g, c.b, a);
}
Colour voiceColour(int v, double a = 1.0) {
    return family(kVoiceFamily[v], a);
}

// --- drawing helpers ------------------------------------------------------------------------
cairo_font_face_t* gRegular = nullptr;
cairo_font_face_t* gBold = nullptr;

void set(cairo_t* cr, const Colour& c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void roundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 1.5 * M_PI);
    cairo_close_path(cr);
}

// A panel: a slightly raised box with a hairline edge.
void panel(cairo_t* cr, const Rect& r, const Colour& fill = kPanel) {
    roundRect(cr, r.left + 0.5, r.top + 0.5, r.width() - 1, r.height() - 1, 5);
    set(cr, fill);
    cairo_fill_preserve(cr);
    set(cr, kPanelEdge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

// A sunken well for a control.
void well(cairo_t* cr, const Rect& r, double radius = 3) {
    roundRect(cr, r.left + 0.5, r.top + 0.5, r.width() - 1, r.height() - 1, radius);
    set(cr, kInset);
    cairo_fill_preserve(cr);
    set(cr, rgb(0, 0, 0, 0.5));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

enum Align { kLeft, kCentre, kRight };

// Text with its top at y (cap height sits about 0.72 size below).
void text(cairo_t* cr, double x, double y, const std::string& s, double size, const Colour& c,
          Align align = kLeft, bool bold = false, double spacing = 0) {
    cairo_set_font_face(cr, bold ? gBold : gRegular);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    double width = e.x_advance + spacing * (s.size() > 0 ? s.size() - 1 : 0);
    double left = align == kLeft ? x : (align == kCentre ? x - width / 2 : x - width);
    double baseline = y + size * 0.78;
    set(cr, c);
    if (spacing == 0) {
        cairo_move_to(cr, left, baseline);
        cairo_show_text(cr, s.c_str());
        return;
    }
    for (char ch : s) {
        char one[2] = {ch, 0};
        cairo_move_to(cr, left, baseline);
        cairo_show_text(cr, one);
        cairo_text_extents(cr, one, &e);
        left += e.x_advance + spacing;
    }
}

// A small section heading: spaced capitals.
void heading(cairo_t* cr, double x, double y, const std::string& s, const Colour& c = kDim,
             Align align = kLeft) {
    text(cr, x, y, s, 9, c, align, true, 1.2);
}

void label(cairo_t* cr, const Rect& r, const std::string& s, Align align = kLeft,
           const Colour& c = kDim) {
    double x = align == kLeft ? r.left : (align == kCentre ? (r.left + r.right) / 2.0 : r.right);
    text(cr, x, r.top + 1, s, 10, c, align);
}

// A slider groove under a horizontal slider (handle 10 pixels wide).
void groove(cairo_t* cr, const Rect& r, bool centreMark) {
    double y = (r.top + r.bottom) / 2.0;
    roundRect(cr, r.left + 2, y - 2, r.width() - 4, 4, 2);
    set(cr, kInset);
    cairo_fill(cr);
    if (centreMark) {
        set(cr, kFaint);
        cairo_rectangle(cr, (r.left + r.right) / 2.0 - 0.5, r.top + 1, 1, r.height() - 2);
        cairo_fill(cr);
    }
}

// A push-button body with its label (the button's bitmap only adds the pressed glow).
void buttonBody(cairo_t* cr, const Rect& r, const std::string& caption) {
    roundRect(cr, r.left + 0.5, r.top + 0.5, r.width() - 1, r.height() - 1, 4);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, r.top, 0, r.bottom);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.27, 0.29, 0.33);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.20, 0.22, 0.25);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    set(cr, rgb(12, 13, 16));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (!caption.empty())
        text(cr, (r.left + r.right) / 2.0, r.top + (r.height() - 9) / 2.0 - 0.5, caption, 9, kText,
             kCentre, true, 0.8);
}

// --- bitmaps --------------------------------------------------------------------------------

// count images of w x h stacked vertically; paint(cr, k) draws image k at (0, 0).
struct Art {
    int width, height, count;
    std::function<void(cairo_t*, int)> paint;
};

void drawBackground(cairo_t* cr) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, kHeight);
    cairo_pattern_add_color_stop_rgb(p, 0, kWindowTop.r, kWindowTop.g, kWindowTop.b);
    cairo_pattern_add_color_stop_rgb(p, 1, kWindowBottom.r, kWindowBottom.g, kWindowBottom.b);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);

    // Header bar.
    p = cairo_pattern_create_linear(0, 0, 0, kHeader.bottom);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.19, 0.21, 0.24);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.14, 0.15, 0.18);
    cairo_rectangle(cr, 0, 0, kWidth, kHeader.bottom);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    set(cr, rgb(8, 9, 11));
    cairo_rectangle(cr, 0, kHeader.bottom - 1, kWidth, 1);
    cairo_fill(cr);

    // Logo: the name, and the five family colours underneath.
    text(cr, kLogo.left, kLogo.top + 2, "BRAKKA", 27, rgb(236, 238, 242), kLeft, true, 2.5);
    for (int f = 0; f < kFamilies; ++f) {
        set(cr, family(f));
        cairo_rectangle(cr, kLogo.left + 1 + f * 24, kLogo.top + 33, 21, 3);
        cairo_fill(cr);
    }
    text(cr, kLogo.left + 1, kLogo.top + 39, "ANALOGUE DRUM SYNTHESIZER", 7.5, kDim, kLeft, true,
         1.1);

    // Transport.
    panel(cr, kTransportBox, rgb(28, 31, 36));
    heading(cr, kSyncLabel.left, kSyncLabel.top, "SYNC");
    heading(cr, kSwingLabel.left, kSwingLabel.top, "SWING");
    groove(cr, kSwing, false);
    heading(cr, kZoomLabel.left, kZoomLabel.top, "ZOOM");

    // Pattern bar.
    heading(cr, kStepSizeLabel.left, kStepSizeLabel.top, "STEP SIZE");
    heading(cr, kPatternLabel.left, kPatternLabel.top, "PATTERN");
    heading(cr, kPatternEditLabel.left, kPatternEditLabel.top, "PATTERN EDIT");
    well(cr, kPatternSelector, 4);
    buttonBody(cr, kPatternClear, "CLEAR");
    buttonBody(cr, kPatternCopy, "COPY");
    buttonBody(cr, kPatternPaste, "PASTE");

    // Column headings over the rows.
    const int hy = kColumnHeadingTop;
    text(cr, (kMute.left + kMute.right) / 2.0, hy, "M", 9, kDim, kCentre, true);
    text(cr, (kSolo.left + kSolo.right) / 2.0, hy, "S", 9, kDim, kCentre, true);
    for (int s = 0; s < kNumSteps; ++s) {
        double cx = kGrid.left + (s + 0.5) * kStepWidth;
        if (s % 4 == 0)
            text(cr, cx, hy, std::to_string(s + 1), 9, kText, kCentre, true);
        else {
            set(cr, kFaint);
            cairo_arc(cr, cx, hy + 5, 1, 0, 2 * M_PI);
            cairo_fill(cr);
        }
    }
    heading(cr, (kLevel.left + kLevel.right) / 2.0, hy, "LEVEL", kDim, kCentre);
    heading(cr, (kPan.left + kPan.right) / 2.0, hy, "PAN", kDim, kCentre);
    heading(cr, (kOutputBus.left + kOutputBus.right) / 2.0, hy, "OUTPUT", kDim, kCentre);

    // Voice rows: a band per voice, step slots tinted by the voice's family, beats marked.
    for (int v = 0; v < kNumVoices; ++v) {
        const int y = kRowsTop + v * kRowHeight;
        set(cr, v % 2 ? rgb(31, 34, 40) : rgb(27, 30, 35));
        cairo_rectangle(cr, kRows.left, y, kRows.width(), kRowHeight);
        cairo_fill(cr);
        const Rect steps = rowRect(kNoteRow, v);
        for (int s = 0; s < kNumSteps; ++s) {
            const double x = steps.left + s * kStepWidth;
            roundRect(cr, x + 1.5, steps.top + 1.5, kStepWidth - 3, steps.height() - 3, 2);
            const bool beat = s % 4 == 0;
            const bool bar = s % 16 == 0;
            set(cr,
                bar ? voiceColour(v, 0.34) : (beat ? voiceColour(v, 0.22) : voiceColour(v, 0.11)));
            cairo_fill(cr);
        }
        // Group lines between beats.
        for (int s = 4; s < kNumSteps; s += 4) {
            set(cr, s % 16 == 0 ? rgb(0, 0, 0, 0.9) : rgb(0, 0, 0, 0.55));
            cairo_rectangle(cr, steps.left + s * kStepWidth - 0.5, y + 1, 1, kRowHeight - 2);
            cairo_fill(cr);
        }
        groove(cr, rowRect(kPan, v), true);
    }
    // Separators between the row's sections.
    set(cr, rgb(0, 0, 0, 0.6));
    for (int x : {kVoiceSelector.right + 1, kSolo.right + 3, kNoteRow.right + 6}) {
        cairo_rectangle(cr, x, kRowsTop, 1, kNumVoices * kRowHeight);
        cairo_fill(cr);
    }

    // Random fill panel.
    panel(cr, kRandomBox);
    heading(cr, kRandomBox.left + 12, kRandomBox.top + 10, "RANDOM FILL", kText);
    label(cr, kSelectedBeatsLabel, "Selected Beats");
    groove(cr, kSelectedBeats, false);
    label(cr, kRandomBeatsLabel, "Random Beats");
    groove(cr, kRandomBeats, false);
    label(cr, kRandomSizeLabel, "Size");
    label(cr, kRandomVelocityLabel, "Velocity");
    well(cr, kRandomVelocity);
    label(cr, kRandomResetLabel, "Refill at each loop");
    buttonBody(cr, kRandomClear, "CLEAR");
    buttonBody(cr, kRandomFill, "FILL");
    set(cr, kPanelEdge);
    cairo_rectangle(cr, kRandomBox.left + 12, kRandomBox.top + 26, kRandomBox.width() - 24, 1);
    cairo_fill(cr);

    // Value row.
    well(cr, kValueRow, 4);
    {
        const Rect r = kValueRow;
        for (int s = 0; s < kNumSteps; ++s) {
            if (s % 4) continue;
            set(cr, rgb(255, 255, 255, s % 16 == 0 ? 0.07 : 0.035));
            cairo_rectangle(cr, r.left + s * kStepWidth, r.top + 1, kStepWidth, r.height() - 2);
            cairo_fill(cr);
        }
        set(cr, rgb(255, 255, 255, 0.10));
        cairo_rectangle(cr, r.left + 1, std::round((r.top + r.bottom) / 2.0), r.width() - 2, 1);
        cairo_fill(cr);
    }
    heading(cr, kFillLabel.left, kFillLabel.top, "SHAPE");
    for (int k = 0; k < 5; ++k) {
        const Rect b = kFillButton.offset(k * kFillButtonSpacing, 0);
        buttonBody(cr, b, "");
        // Icons: flat, invert, falling ramp, sine, random.
        const double x0 = b.left + 5, x1 = b.right - 5, y0 = b.top + 5, y1 = b.bottom - 5;
        set(cr, kText);
        cairo_set_line_width(cr, 1.5);
        switch (k) {
        case 0:
            cairo_move_to(cr, x0, (y0 + y1) / 2);
            cairo_line_to(cr, x1, (y0 + y1) / 2);
            break;
        case 1:
            cairo_move_to(cr, (x0 + x1) / 2, y0);
            cairo_line_to(cr, (x0 + x1) / 2, y1);
            cairo_move_to(cr, (x0 + x1) / 2 - 3, y0 + 3);
            cairo_line_to(cr, (x0 + x1) / 2, y0);
            cairo_line_to(cr, (x0 + x1) / 2 + 3, y0 + 3);
            cairo_move_to(cr, (x0 + x1) / 2 - 3, y1 - 3);
            cairo_line_to(cr, (x0 + x1) / 2, y1);
            cairo_line_to(cr, (x0 + x1) / 2 + 3, y1 - 3);
            break;
        case 2:
            cairo_move_to(cr, x0, y0);
            cairo_line_to(cr, x1, y1);
            break;
        case 3:
            for (int i = 0; i <= 20; ++i) {
                double t = i / 20.0;
                double x = x0 + t * (x1 - x0), y = (y0 + y1) / 2 - std::sin(t * 2 * M_PI) * 4;
                if (i == 0)
                    cairo_move_to(cr, x, y);
                else
                    cairo_line_to(cr, x, y);
            }
            break;
        default: {
            const double h[] = {0.3, 0.9, 0.5, 0.1, 0.7};
            for (int i = 0; i < 5; ++i) {
                double x = x0 + i * (x1 - x0) / 4;
                cairo_move_to(cr, x, y1);
                cairo_line_to(cr, x, y1 - h[i] * (y1 - y0));
            }
            break;
        }
        }
        cairo_stroke(cr);
    }
    label(cr, kRowEnableLabel, "Random at each loop");

    // Master.
    panel(cr, kMasterBox);
    heading(cr, kMasterBox.left + 12, kMasterBox.top + 9, "MASTER", kText);
    heading(cr, kCompressorAttackLabel.left, kCompressorAttackLabel.top, "COMP ATTACK");
    groove(cr, kCompressorAttack, false);
    heading(cr, kMIDIOnlyLabel.left, kMIDIOnlyLabel.top, "MIDI ONLY");

    // Sound panel.
    panel(cr, kSoundBox, rgb(30, 33, 39));
}

// A captioned knob face: value ring in the family colour, light cap for the black pointer.
void drawKnob(cairo_t* cr, const Colour& ring) {
    // The control draws its pointer around (30, 30) and its caption in the bottom 12 pixels:
    // everything here stays above the caption (the scale ends at y = 44.5).
    const double cx = 30, cy = 30;
    // Scale: 270 degrees from lower left to lower right.
    cairo_set_line_width(cr, 3);
    set(cr, rgb(0, 0, 0, 0.55));
    cairo_arc(cr, cx, cy, 16, 0.75 * M_PI, 2.25 * M_PI);
    cairo_stroke(cr);
    set(cr, ring);
    cairo_set_line_width(cr, 1.6);
    cairo_arc(cr, cx, cy, 16, 0.75 * M_PI, 2.25 * M_PI);
    cairo_stroke(cr);
    for (int i = 0; i <= 10; ++i) {
        const double a = (0.75 + 1.5 * i / 10.0) * M_PI;
        const bool major = i % 5 == 0;
        set(cr, major ? ring : rgb(150, 156, 166));
        cairo_move_to(cr, cx + 18 * std::cos(a), cy + 18 * std::sin(a));
        cairo_line_to(cr, cx + (major ? 20.5 : 19.5) * std::cos(a),
                      cy + (major ? 20.5 : 19.5) * std::sin(a));
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    // Shadow and cap.
    cairo_arc(cr, cx, cy + 1.5, 14, 0, 2 * M_PI);
    set(cr, rgb(0, 0, 0, 0.5));
    cairo_fill(cr);
    cairo_pattern_t* p = cairo_pattern_create_radial(cx - 5, cy - 6, 2, cx, cy, 14);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.93, 0.94, 0.95);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.66, 0.68, 0.72);
    cairo_arc(cr, cx, cy, 13.5, 0, 2 * M_PI);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

// Two labelled segments, the one of image k lit.
void drawSegments(cairo_t* cr, int w, int h, int k, const char* a, const char* b) {
    roundRect(cr, 0.5, 0.5, w - 1, h - 1, 4);
    set(cr, kInset);
    cairo_fill(cr);
    const double half = w / 2.0;
    for (int i = 0; i < 2; ++i) {
        const bool lit = i == k;
        roundRect(cr, i * half + 1.5, 1.5, half - 3, h - 3, 3);
        set(cr, lit ? kAmber : rgb(40, 44, 51));
        cairo_fill(cr);
        text(cr, i * half + half / 2, (h - 9) / 2.0 - 0.5, i ? b : a, 9,
             lit ? rgb(30, 24, 12) : kDim, kCentre, true);
    }
}

// The pressed glow of a push button whose body is on the background.
void drawGlow(cairo_t* cr, int w, int h, int k) {
    if (k == 0) return;
    roundRect(cr, 0.5, 0.5, w - 1, h - 1, 4);
    set(cr, rgb(255, 200, 110, 0.28));
    cairo_fill_preserve(cr);
    set(cr, kAmber);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void drawToggle(cairo_t* cr, int w, int h, int k) {
    const double cx = w / 2.0, cy = h / 2.0;
    cairo_arc(cr, cx, cy, 6.5, 0, 2 * M_PI);
    set(cr, rgb(10, 11, 13));
    cairo_fill(cr);
    if (k) {
        cairo_pattern_t* g = cairo_pattern_create_radial(cx, cy, 0, cx, cy, 8);
        cairo_pattern_add_color_stop_rgba(g, 0, 1, 0.85, 0.5, 1);
        cairo_pattern_add_color_stop_rgba(g, 0.6, 1, 0.62, 0.15, 1);
        cairo_pattern_add_color_stop_rgba(g, 1, 1, 0.5, 0.1, 0);
        cairo_arc(cr, cx, cy, 8, 0, 2 * M_PI);
        cairo_set_source(cr, g);
        cairo_fill(cr);
        cairo_pattern_destroy(g);
    } else {
        cairo_arc(cr, cx, cy, 5, 0, 2 * M_PI);
        set(cr, rgb(74, 58, 40));
        cairo_fill(cr);
    }
}

void drawSmallButton(cairo_t* cr, int w, int h, int k, const char* letter, const Colour& on) {
    roundRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
    set(cr, k ? on : rgb(46, 51, 59));
    cairo_fill_preserve(cr);
    set(cr, rgb(10, 11, 13));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    text(cr, w / 2.0, (h - 10) / 2.0 - 0.5, letter, 10, k ? rgb(24, 20, 16) : kDim, kCentre, true);
}

void drawTransportButton(cairo_t* cr, int size, int k, bool play) {
    roundRect(cr, 0.5, 0.5, size - 1, size - 1, 5);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, size);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.29, 0.31, 0.35);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.19, 0.21, 0.24);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    set(cr, k ? (play ? kGreen : kAmber) : rgb(10, 11, 13));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    const double c = size / 2.0;
    if (play) {
        cairo_move_to(cr, c - 5, c - 7);
        cairo_line_to(cr, c + 8, c);
        cairo_line_to(cr, c - 5, c + 7);
        cairo_close_path(cr);
        set(cr, k ? kGreen : kText);
    } else {
        cairo_rectangle(cr, c - 6, c - 6, 12, 12);
        set(cr, k ? kAmber : kText);
    }
    cairo_fill(cr);
}

void drawVoiceSelector(cairo_t* cr, int selected) {
    for (int v = 0; v < kNumVoices; ++v) {
        const double y = v * kRowHeight;
        const int w = kVoiceSelector.width();
        if (v == selected) {
            roundRect(cr, 0.5, y + 1.5, w - 1, kRowHeight - 3, 3);
            set(cr, voiceColour(v, 0.30));
            cairo_fill_preserve(cr);
            set(cr, voiceColour(v, 0.9));
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
        }
        set(cr, voiceColour(v, v == selected ? 1.0 : 0.8));
        roundRect(cr, 3, y + 5, 4, kRowHeight - 10, 1.5);
        cairo_fill(cr);
        text(cr, 12, y + (kRowHeight - 10) / 2.0 - 0.5, kVoiceTitle[v], 10,
             v == selected ? rgb(250, 250, 252) : rgb(176, 182, 192), kLeft, true, 0.3);
    }
}

void drawBus(cairo_t* cr, int selected) {
    const double cell = kOutputBus.width() / 6.0;
    const int h = kOutputBus.height();
    for (int i = 0; i < 6; ++i) {
        roundRect(cr, i * cell + 0.5, 0.5, cell - 1, h - 1, 2);
        set(cr, i == selected ? kAmber : rgb(40, 44, 51));
        cairo_fill(cr);
        const char letter[2] = {(char)('A' + i), 0};
        text(cr, i * cell + cell / 2, (h - 9) / 2.0 - 0.5, letter, 9,
             i == selected ? rgb(30, 24, 12) : kDim, kCentre, true);
    }
}

// Image 0: the cells on the dark well; image 1: the same with dark numbers, drawn by the
// selector for the cell on the selection colour.
void drawPatternCells(cairo_t* cr, int k) {
    const double cell = kPatternSelector.width() / 16.0;
    const int h = kPatternSelector.height();
    for (int i = 0; i < 16; ++i) {
        roundRect(cr, i * cell + 1.5, 1.5, cell - 3, h - 3, 3);
        set(cr, rgb(120, 128, 140, 0.55));
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        const std::string n = std::to_string(i + 1);
        cairo_set_font_face(cr, gBold);
        cairo_set_font_size(cr, 10);
        cairo_text_extents_t e;
        cairo_text_extents(cr, n.c_str(), &e);
        cairo_move_to(cr, i * cell + cell / 2 - e.x_advance / 2, (h - 10) / 2.0 + 7.8);
        cairo_text_path(cr, n.c_str());
        set(cr, k == 0 ? rgb(240, 242, 245) : rgb(24, 20, 12));
        cairo_fill(cr);
    }
}

void drawVoicePanel(cairo_t* cr, int v) {
    const int w = kVoicePanel.width(), h = kVoicePanel.height();
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, w, 0);
    const Colour c = voiceColour(v);
    cairo_pattern_add_color_stop_rgba(p, 0, c.r, c.g, c.b, 0.55);
    cairo_pattern_add_color_stop_rgba(p, 0.45, c.r, c.g, c.b, 0.10);
    cairo_pattern_add_color_stop_rgba(p, 1, c.r, c.g, c.b, 0.0);
    roundRect(cr, 1, 1, w - 2, h - 1, 4);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    set(cr, c);
    cairo_rectangle(cr, 1, h - 1, w - 2, 1);
    cairo_fill(cr);
    text(cr, 14, (h - 13) / 2.0, kVoiceTitle[v], 13, rgb(252, 252, 252), kLeft, true, 1.5);
    const std::string right =
        std::string(kFamilyName[kVoiceFamily[v]]) + "   MIDI NOTE " + std::to_string(kMIDInote[v]);
    text(cr, w - 14, (h - 9) / 2.0, right, 9, rgb(200, 204, 212), kRight, true, 1.0);
}

void drawAbout(cairo_t* cr, int w, int h) {
    roundRect(cr, 0.5, 0.5, w - 1, h - 1, 10);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgba(p, 0, 0.16, 0.18, 0.21, 0.98);
    cairo_pattern_add_color_stop_rgba(p, 1, 0.09, 0.10, 0.12, 0.98);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    set(cr, kPanelEdge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    text(cr, w / 2.0, 36, "BRAKKA", 44, rgb(240, 242, 245), kCentre, true, 4);
    for (int f = 0; f < kFamilies; ++f) {
        set(cr, family(f));
        cairo_rectangle(cr, w / 2.0 - 100 + f * 41, 92, 36, 4);
        cairo_fill(cr);
    }
    text(cr, w / 2.0, 108, "ANALOGUE DRUM SYNTHESIZER  -  VERSION 1.1.2", 10, kDim, kCentre, true,
         1.2);
    const char* lines[] = {
        "Twelve drums synthesized from oscillators, noise and filters: no samples.",
        "A step sequencer with 16 patterns, per-step velocity and modulation.",
        "",
        "Click a voice name to edit its sound; touch any sound knob or pan",
        "and the value row below the steps modulates it step by step.",
        "Click the selected voice again to return to the velocities.",
        "Ctrl + Alt + click a control, then move a MIDI controller to learn it.",
    };
    double y = 140;
    for (const char* l : lines) {
        text(cr, w / 2.0, y, l, 11, kText, kCentre);
        y += 18;
    }
    text(cr, w / 2.0, h - 40, "ZUNDER WORKS", 10, kDim, kCentre, true, 2);
    text(cr, w / 2.0, h - 24, "click to close", 9, kFaint, kCentre);
}

Art artFor(int number) {
    switch (number) {
    case kBmpBackground:
        return {kWidth, kHeight, 1, [](cairo_t* cr, int) { drawBackground(cr); }};
    case kBmpPlay:
        return {kPlay.width(), kPlay.height(), 2,
                [](cairo_t* cr, int k) { drawTransportButton(cr, kPlay.width(), k, true); }};
    case kBmpStop:
        return {kStop.width(), kStop.height(), 2,
                [](cairo_t* cr, int k) { drawTransportButton(cr, kStop.width(), k, false); }};
    case kBmpMute:
        return {kMute.width(), kMute.height(), 2, [](cairo_t* cr, int k) {
                    drawSmallButton(cr, kMute.width(), kMute.height(), k, "M", rgb(238, 92, 66));
                }};
    case kBmpSolo:
        return {kSolo.width(), kSolo.height(), 2, [](cairo_t* cr, int k) {
                    drawSmallButton(cr, kSolo.width(), kSolo.height(), k, "S", rgb(246, 206, 80));
                }};
    case kBmpVoiceSelector:
        return {kVoiceSelector.width(), kVoiceSelector.height(), kNumVoices,
                [](cairo_t* cr, int k) { drawVoiceSelector(cr, kNumVoices - 1 - k); }};
    case kBmpOutputBus:
        return {kOutputBus.width(), kOutputBus.height(), kNumOutputBuses,
                [](cairo_t* cr, int k) { drawBus(cr, k); }};
    case kBmpSmallKnob:
        return {kLevel.width(), kLevel.height(), 1, [](cairo_t* cr, int) {
                    const double c = kLevel.width() / 2.0;
                    cairo_arc(cr, c, c + 0.8, 9.5, 0, 2 * M_PI);
                    set(cr, rgb(0, 0, 0, 0.6));
                    cairo_fill(cr);
                    cairo_pattern_t* p = cairo_pattern_create_radial(c - 3, c - 4, 1, c, c, 10);
                    cairo_pattern_add_color_stop_rgb(p, 0, 0.92, 0.93, 0.94);
                    cairo_pattern_add_color_stop_rgb(p, 1, 0.62, 0.64, 0.68);
                    cairo_arc(cr, c, c, 9, 0, 2 * M_PI);
                    cairo_set_source(cr, p);
                    cairo_fill(cr);
                    cairo_pattern_destroy(p);
                }};
    case kBmpKnob:
        return {kKnobSize, kKnobSize, 1,
                [](cairo_t* cr, int) { drawKnob(cr, rgb(200, 206, 214)); }};
    case kBmpKnobFamily + 0:
    case kBmpKnobFamily + 1:
    case kBmpKnobFamily + 2:
    case kBmpKnobFamily + 3:
    case kBmpKnobFamily + 4: {
        const int f = number - kBmpKnobFamily;
        return {kKnobSize, kKnobSize, 1, [f](cairo_t* cr, int) { drawKnob(cr, family(f)); }};
    }
    case kBmpSliderHandle:
        return {10, 14, 1, [](cairo_t* cr, int) {
                    roundRect(cr, 0.5, 0.5, 9, 13, 2.5);
                    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, 14);
                    cairo_pattern_add_color_stop_rgb(p, 0, 0.90, 0.91, 0.93);
                    cairo_pattern_add_color_stop_rgb(p, 1, 0.64, 0.66, 0.70);
                    cairo_set_source(cr, p);
                    cairo_fill_preserve(cr);
                    cairo_pattern_destroy(p);
                    set(cr, rgb(10, 11, 13));
                    cairo_set_line_width(cr, 1);
                    cairo_stroke(cr);
                    set(cr, rgb(40, 44, 50));
                    cairo_rectangle(cr, 4.5, 3, 1, 8);
                    cairo_fill(cr);
                }};
    case kBmpPatternCells:
        return {kPatternSelector.width(), kPatternSelector.height(), 2,
                [](cairo_t* cr, int k) { drawPatternCells(cr, k); }};
    case kBmpPushButton:
        return {kPatternClear.width(), kPatternClear.height(), 2, [](cairo_t* cr, int k) {
                    drawGlow(cr, kPatternClear.width(), kPatternClear.height(), k);
                }};
    case kBmpFillButton:
        return {kFillButton.width(), kFillButton.height(), 2, [](cairo_t* cr, int k) {
                    drawGlow(cr, kFillButton.width(), kFillButton.height(), k);
                }};
    case kBmpWidePushButton:
        return {kRandomClear.width(), kRandomClear.height(), 2, [](cairo_t* cr, int k) {
                    drawGlow(cr, kRandomClear.width(), kRandomClear.height(), k);
                }};
    case kBmpToggle:
        return {kRowEnable.width(), kRowEnable.height(), 2, [](cairo_t* cr, int k) {
                    drawToggle(cr, kRowEnable.width(), kRowEnable.height(), k);
                }};
    case kBmpWaveform:
        return {kSwitchWidth, kSwitchHeight, 2, [](cairo_t* cr, int k) {
                    drawSegments(cr, kSwitchWidth, kSwitchHeight, k, "ANLG", "SINE");
                }};
    case kBmpMoreCowbell:
        return {kSwitchWidth, kSwitchHeight, 2, [](cairo_t* cr, int k) {
                    drawSegments(cr, kSwitchWidth, kSwitchHeight, k, "OFF", "ON");
                }};
    case kBmpAbout:
        return {kAboutDisplay.width(), kAboutDisplay.height(), 1, [](cairo_t* cr, int) {
                    drawAbout(cr, kAboutDisplay.width(), kAboutDisplay.height());
                }};
    default:
        if (number >= kBmpVoicePanel && number < kBmpVoicePanel + kNumVoices) {
            const int v = number - kBmpVoicePanel;
            return {kVoicePanel.width(), kVoicePanel.height(), 1,
                    [v](cairo_t* cr, int) { drawVoicePanel(cr, v); }};
        }
        return {0, 0, 0, nullptr};
    }
}

bool render(const Art& art, int scale, const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, art.width * scale,
                                                    art.height * art.count * scale);
    cairo_t* cr = cairo_create(s);
    cairo_font_options_t* opts = cairo_font_options_create();
    cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, opts);
    cairo_font_options_destroy(opts);
    for (int k = 0; k < art.count; ++k) {
        cairo_save(cr);
        cairo_scale(cr, scale, scale);
        cairo_translate(cr, 0, k * art.height);
        cairo_rectangle(cr, 0, 0, art.width, art.height);
        cairo_clip(cr);
        art.paint(cr, k);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

cairo_font_face_t* loadFace(FT_Library ft, const std::string& path) {
    FT_Face face;
    if (FT_New_Face(ft, path.c_str(), 0, &face) != 0) return nullptr;
    return cairo_ft_font_face_create_for_ft_face(face, 0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: brakka-artgen FONT_DIR OUT_DIR\n");
        return 2;
    }
    const std::string fonts = argv[1], out = argv[2];
    FT_Library ft;
    if (FT_Init_FreeType(&ft) != 0) return 1;
    gRegular = loadFace(ft, fonts + "/DejaVuSansCondensed.ttf");
    gBold = loadFace(ft, fonts + "/DejaVuSansCondensed-Bold.ttf");
    if (!gRegular || !gBold) {
        std::fprintf(stderr, "brakka-artgen: cannot load the DejaVu fonts from %s\n",
                     fonts.c_str());
        return 1;
    }
    for (int number : kBitmapNumbers) {
        const Art art = artFor(number);
        if (!art.paint) continue;
        const std::string base = out + "/" + std::to_string(number);
        if (!render(art, 1, base + ".png") || !render(art, 2, base + "@2x.png")) {
            std::fprintf(stderr, "brakka-artgen: cannot write %s\n", base.c_str());
            return 1;
        }
    }
    return 0;
}
