// brakka-fontgen: renders the printable ASCII characters of a TrueType font into a bitmap
// font: a glyph image (white glyphs on transparent, PNG) and a metrics file.
//
//   brakka-fontgen FONT.ttf PIXEL_SIZE OUT_BASE     writes OUT_BASE.png and OUT_BASE.tab,
//                                                  and OUT_BASE@2x.png
//
// Metrics file; every 16-bit field is little-endian (the native order of the x86-64 target):
//   bytes 0-3   "RZFT"          bytes 4-5   format version (1)
//   bytes 6-7   line height     bytes 8-9   baseline (pixels from the top of a line)
//   bytes 10-11 record count    bytes 12-13 image width      bytes 14-15 image height
//   bytes 16-19 zero
//   from byte 20, one 16-byte record per character:
//     0 character, 1 zero, 2-3 cell left in the image, 4-5 cell top in the image,
//     6-7 cell width, 8-9 baseline within the cell, 10-11 glyph height,
//     12-13 cell left, 14-15 cell right (advance = right - left).
// Each glyph is drawn in its own cell, one advance wide and one line high, with its origin
// at the cell's left edge on the baseline; cells are separated by two empty columns.
// OUT_BASE@2x.png holds the same cells at twice the size, each glyph rendered from the font at
// twice the pixel size (for drawing at zoom factors above 1); the metrics describe both.
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void put16(std::vector<unsigned char>& b, size_t at, unsigned v) {
    b[at] = (unsigned char)(v & 255);
    b[at + 1] = (unsigned char)((v >> 8) & 255);
}

const int kFirst = 32, kLast = 126, kGap = 2;

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: brakka-fontgen FONT.ttf PIXEL_SIZE OUT_BASE\n");
        return 2;
    }
    double pixelSize = std::atof(argv[2]);
    if (!(pixelSize >= 4 && pixelSize <= 200)) {
        std::fprintf(stderr, "brakka-fontgen: pixel size out of range\n");
        return 2;
    }
    std::string base = argv[3];

    FT_Library ft;
    FT_Face face;
    if (FT_Init_FreeType(&ft) != 0 || FT_New_Face(ft, argv[1], 0, &face) != 0) {
        std::fprintf(stderr, "brakka-fontgen: cannot load %s\n", argv[1]);
        return 1;
    }
    cairo_font_face_t* cface = cairo_ft_font_face_create_for_ft_face(face, 0);
    cairo_font_options_t* opts = cairo_font_options_create();
    cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_ON);

    // Measure with a scratch surface.
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    cairo_set_font_face(cr, cface);
    cairo_set_font_size(cr, pixelSize);
    cairo_set_font_options(cr, opts);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    int baseline = (int)std::ceil(fe.ascent);
    int lineHeight = baseline + (int)std::ceil(fe.descent);
    std::vector<int> advance;
    int width = 0;
    for (int c = kFirst; c <= kLast; ++c) {
        char s[2] = {(char)c, 0};
        cairo_text_extents_t te;
        cairo_text_extents(cr, s, &te);
        int a = std::max(1, (int)std::lround(te.x_advance));
        advance.push_back(a);
        width += a + kGap;
    }
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);

    // The glyph image at a whole-number scale of the metrics.
    auto render = [&](int scale) {
        cairo_surface_t* img =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * scale, lineHeight * scale);
        cairo_t* c = cairo_create(img);
        cairo_set_font_face(c, cface);
        cairo_set_font_size(c, pixelSize * scale);
        cairo_set_font_options(c, opts);
        cairo_set_source_rgba(c, 1, 1, 1, 1);
        int left = 0;
        for (int ch = kFirst; ch <= kLast; ++ch) {
            char s[2] = {(char)ch, 0};
            int a = advance[(size_t)(ch - kFirst)];
            cairo_save(c);
            cairo_rectangle(c, left * scale, 0, a * scale, lineHeight * scale);
            cairo_clip(c);
            cairo_move_to(c, left * scale, baseline * scale);
            cairo_show_text(c, s);
            cairo_restore(c);
            left += a + kGap;
        }
        cairo_destroy(c);
        cairo_surface_flush(img);
        return img;
    };

    size_t count = (size_t)(kLast - kFirst + 1);
    std::vector<unsigned char> tab(20 + 16 * count, 0);
    tab[0] = 'R';
    tab[1] = 'Z';
    tab[2] = 'F';
    tab[3] = 'T';
    put16(tab, 4, 1);
    put16(tab, 6, (unsigned)lineHeight);
    put16(tab, 8, (unsigned)baseline);
    put16(tab, 10, (unsigned)count);
    put16(tab, 12, (unsigned)width);
    put16(tab, 14, (unsigned)lineHeight);
    int x = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t r = 20 + 16 * i;
        tab[r] = (unsigned char)(kFirst + (int)i);
        put16(tab, r + 2, (unsigned)x);
        put16(tab, r + 4, 0);
        put16(tab, r + 6, (unsigned)advance[i]);
        put16(tab, r + 8, (unsigned)baseline);
        put16(tab, r + 10, (unsigned)lineHeight);
        put16(tab, r + 12, (unsigned)x);
        put16(tab, r + 14, (unsigned)(x + advance[i]));
        x += advance[i] + kGap;
    }

    int status = 0;
    for (int scale : {1, 2}) {
        std::string name = base + (scale == 1 ? ".png" : "@2x.png");
        cairo_surface_t* img = render(scale);
        if (cairo_surface_write_to_png(img, name.c_str()) != CAIRO_STATUS_SUCCESS) {
            std::fprintf(stderr, "brakka-fontgen: cannot write %s\n", name.c_str());
            status = 1;
        }
        cairo_surface_destroy(img);
    }
    FILE* f = std::fopen((base + ".tab").c_str(), "wb");
    if (!f || std::fwrite(tab.data(), 1, tab.size(), f) != tab.size()) {
        std::fprintf(stderr, "brakka-fontgen: cannot write %s.tab\n", base.c_str());
        status = 1;
    }
    if (f) std::fclose(f);

    cairo_font_options_destroy(opts);
    cairo_font_face_destroy(cface);
    FT_Done_Face(face);
    FT_Done_FreeType(ft);
    return status;
}
