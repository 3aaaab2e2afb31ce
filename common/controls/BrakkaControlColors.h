// The editor's shared control colours (red, green, blue, alpha).
#pragma once

#include "vstgui.h"

extern CColor color_on;             // a set step
extern CColor color_modSlider;      // a value-row bar
extern CColor color_bkgndHighlight; // beat marker behind every fourth step
extern CColor color_currentStep;    // the playing step
extern CColor color_disabledStep;   // a step past the pattern's length
extern CColor kSelectionColor;      // the current pattern's cell
extern CColor kPendingColor;        // a chosen pattern that is not yet playing

extern CColor eg_fill_color; // envelope markers and the fill under the curve
extern CColor eg_bg_color;   // envelope background and handle fill
extern CColor eg_grid_color; // envelope grid
extern CColor eg_line_color; // envelope curve
