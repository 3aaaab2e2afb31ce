#include "BrakkaControlColors.h"

CColor color_on = MakeCColor(178, 178, 178, 200);
CColor color_modSlider = MakeCColor(178, 178, 178, 200);
CColor color_bkgndHighlight = MakeCColor(255, 255, 255, 13);
CColor color_currentStep = MakeCColor(255, 255, 255, 30);
CColor color_disabledStep = MakeCColor(0, 0, 0, 204);
CColor kSelectionColor = MakeCColor(255, 153, 0, 255);
CColor kPendingColor = MakeCColor(255, 255, 255, 100);

CColor eg_fill_color = MakeCColor(156, 168, 170, 71);
CColor eg_bg_color = MakeCColor(76, 90, 101, 255);
CColor eg_grid_color = MakeCColor(0, 0, 0, 25);
CColor eg_line_color = MakeCColor(156, 168, 170, 255);
