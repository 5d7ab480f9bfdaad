// ProgressBar: the common controls' smooth progress bar. It shows an amount done out of a total
// of any 64-bit size, in steps of one ten-thousandth.
#ifndef LUMIVO_GUI_PROGRESSBAR_H
#define LUMIVO_GUI_PROGRESSBAR_H

#include "gui/Control.h"

#include <stdint.h>

enum : int32_t { ProgressRange = 10000 };

class ProgressBar : public Control {
public:
    // A hidden bar at 0 that is no tab stop. flags as for any control (Unmanaged to place it
    // by hand outside the layout).
    ProgressBar(ControlGroup* parent, uint32_t flags);
    // Any width; 18 pixels at 96 DPI high.
    SizeLimits sizeLimits() override;
    // done out of total (a total of 0 or less shows nothing done); done is kept within [0, total].
    void setProgress(int64_t done, int64_t total);
    // The position the control shows, 0 to ProgressRange.
    int32_t position();

    int32_t shownPosition = -1; // the last position sent to the control
};

// The position in [0, ProgressRange] of done out of total.
int32_t ProgressPosition(int64_t done, int64_t total);

#endif
