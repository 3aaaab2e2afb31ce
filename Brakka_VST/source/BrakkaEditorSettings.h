// BrakkaEditorSettings: the editor's per-user choices (today the zoom), kept in a small text
// file "Brakka Editor Settings.txt" beside the MIDI assignments file in
// "$XDG_CONFIG_HOME/Zunder Works/" and replaced atomically on every save.
//
// The file holds "key value" lines; the zoom is "zoom 150" (a percentage, so no decimal
// separator depends on the host's locale). Unknown keys are ignored.
//
// Reading the zoom: no file, or a file of well-formed lines without a zoom line, means no
// saved choice, and the zoom follows the GDK_SCALE environment value (the desktop's scale for
// GTK programs) when it is set, else 100 %. A file that cannot be read, a malformed line or a
// zoom that is not one of the supported ones mean 100 %. Every zoom returned is one of kZooms.
//
// These functions touch the file system: call them from the user-interface thread.
#pragma once

#include <cstddef>

class BrakkaEditorSettings {
public:
    // The zooms the editor offers, as factors.
    static constexpr double kZooms[] = {1.0, 1.5, 2.0};
    static constexpr size_t kNumZooms = sizeof(kZooms) / sizeof(kZooms[0]);
    static constexpr const char* kFileName = "Brakka Editor Settings.txt";

    // The zoom to open the editor at.
    static double loadZoom();
    // Remembers a zoom (the nearest supported one). False when the file could not be written
    // (the old file then stays as it was).
    static bool saveZoom(double zoom);

    // The supported zoom nearest to a factor; 1 for anything that is not a positive number.
    static double nearestZoom(double zoom);
    // The zoom a settings text holds: 1 for a damaged one, `fallback` for a text without a zoom
    // line (text may be null: no file).
    static double zoomFromText(const char* text, size_t length, double fallback);
    // The zoom a GDK_SCALE value asks for (null or unreadable: 1).
    static double zoomFromScaleValue(const char* value);
};
