// Space: an invisible windowless child that only takes room in an elastic group. An elastic
// space (-1) takes extra room with weight 1, so any other flexible child takes nearly all of it.
#ifndef LUMIVO_GUI_SPACE_H
#define LUMIVO_GUI_SPACE_H

#include "gui/Control.h"

#include <stdint.h>

class Space : public Control {
public:
    // Elastic in both directions.
    explicit Space(ControlGroup* parent);
    // Fixed sizes in 96-DPI pixels, scaled to the DPI; -1 is elastic on that axis.
    Space(ControlGroup* parent, int32_t width, int32_t height);
    SizeLimits sizeLimits() override;
    bool isSpace() override;

    int32_t width;
    int32_t height;
    bool scaleByDpi;
};

#endif
