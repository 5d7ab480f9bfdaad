// ControlGroup: a control that holds other controls (a form, an elastic group, a buttons bar).
// Children add themselves when they are created and remove themselves when they are deleted.
#ifndef LUMIVO_GUI_CONTROLGROUP_H
#define LUMIVO_GUI_CONTROLGROUP_H

#include "gui/Control.h"

class ControlGroup : public Control {
public:
    ControlGroup(ControlGroup* parent, uint32_t id, uint32_t flags) : Control(parent, id, flags) {}
    ~ControlGroup() override;

    virtual void removeChild(Control* child) = 0;
    virtual void addChild(Control* child) = 0;
};

#endif
