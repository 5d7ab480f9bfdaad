// ElasticGroup: a windowless group that stacks its children vertically or puts them side by side,
// with margins and spacing, and shares the extra room among them by weight within each child's
// minimum and maximum. Sizes are asked bottom-up (sizeLimits) and handed out top-down (setBounds).
// Distances are pixels at 96 DPI, scaled to the form's DPI when used.
#ifndef LUMIVO_GUI_ELASTICGROUP_H
#define LUMIVO_GUI_ELASTICGROUP_H

#include "core/Array.h"
#include "gui/ControlGroup.h"

#include <stdint.h>

struct LayoutEntry {
    Control* child;    // owned by the group
    int32_t weight;    // share of extra room: 1 for a Space, 10000 for any other child
    LayoutEntry* next; // scratch: the distribution order
    int32_t size;      // scratch: the size along the main axis from the last layout
    SizeLimits limits; // the child's limits from the group's last sizeLimits (zero when collapsed)
};

enum : uint32_t { Vertical = 0, Horizontal = 1 };

// Where a horizontal group puts width left over when every child is at its maximum.
enum : uint32_t { AlignStart = 0, AlignCentre = 1, AlignEnd = 2 };

class ElasticGroup : public ControlGroup {
public:
    // An empty shown group in the parent; spacing, margins and alignment start at 0.
    ElasticGroup(uint32_t horizontal, ControlGroup* parent);
    // Deletes the children, last first.
    ~ElasticGroup() override;
    // Showing and hiding act on every child, collapsed ones included.
    void show() override;
    void showNoActivate() override;
    void hide() override;
    // Lays the children out with the limits cached by the latest sizeLimits.
    void setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    // Refreshes the cache of the children's limits.
    SizeLimits sizeLimits() override;
    bool tooltipAt(POINT screenPoint, Str& text) override;
    uint32_t idAt(POINT screenPoint) override;
    void removeChild(Control* child) override;
    void addChild(Control* child) override;

    uint32_t horizontal;
    uint32_t alignment = AlignStart; // horizontal groups only
    int32_t spacing = 0;             // between neighbours
    int32_t marginX = 0;             // left of the first and right of the last child
    int32_t marginY = 0;             // above and below the children
    Array<LayoutEntry, true, 4> entries;
};

#endif
