#include "gui/ElasticGroup.h"

#include <algorithm>

ElasticGroup::ElasticGroup(uint32_t horizontal, ControlGroup* parent)
    : ControlGroup(parent, 0, Windowless), horizontal(horizontal)
{
    createWindow(L"Elastic Group", 0, 0);
    show();
}

ElasticGroup::~ElasticGroup()
{
    // Each child's destructor removes its own entry.
    for (int64_t i = entries.length() - 1; i >= 0; i--)
        if (i < entries.length())
            delete entries.ref(i).child;
    entries.release();
}

void ElasticGroup::show()
{
    if (shown)
        return;
    shown = true;
    for (int64_t i = 0; i < entries.length(); i++)
        entries.ref(i).child->show();
}

void ElasticGroup::showNoActivate()
{
    show();
}

void ElasticGroup::hide()
{
    if (!shown)
        return;
    shown = false;
    for (int64_t i = 0; i < entries.length(); i++)
        entries.ref(i).child->hide();
}

// The limits along the group's main axis and across it.
struct AxisLimits {
    int32_t minMain;
    int32_t maxMain;
    int32_t minCross;
    int32_t maxCross;
};

static AxisLimits OnAxis(const SizeLimits& limits, bool horizontal)
{
    if (horizontal)
        return AxisLimits{limits.minWidth, limits.maxWidth, limits.minHeight, limits.maxHeight};
    return AxisLimits{limits.minHeight, limits.maxHeight, limits.minWidth, limits.maxWidth};
}

SizeLimits ElasticGroup::sizeLimits()
{
    if (collapsed)
        return SizeLimits{0, 0, 0, 0};
    for (int64_t i = 0; i < entries.length(); i++) {
        LayoutEntry& entry = entries.ref(i);
        entry.limits = entry.child->isCollapsed() ? SizeLimits{0, 0, 0, 0} : entry.child->sizeLimits();
    }
    int32_t gap = scaled(spacing);
    AxisLimits total = {0, 0, 0, 0};
    bool first = true;
    for (int64_t i = 0; i < entries.length(); i++) {
        LayoutEntry& entry = entries.ref(i);
        if (entry.child->isCollapsed())
            continue;
        AxisLimits child = OnAxis(entry.limits, horizontal);
        total.minMain += child.minMain;
        total.maxMain += child.maxMain;
        total.minCross = std::max(total.minCross, child.minCross);
        // An elastic space must not make the whole group elastic across.
        if (!(entry.child->isSpace() && child.maxCross >= Unbounded))
            total.maxCross = total.maxCross == 0 ? child.maxCross : std::max(total.maxCross, child.maxCross);
        if (!first) {
            total.minMain += gap;
            total.maxMain += gap;
        }
        first = false;
    }
    total.maxMain = std::max(total.maxMain, total.minMain);
    total.maxCross = std::max(total.maxCross, total.minCross);

    SizeLimits limits = horizontal ? SizeLimits{total.minMain, total.minCross, total.maxMain, total.maxCross}
                                   : SizeLimits{total.minCross, total.minMain, total.maxCross, total.maxMain};
    int32_t marginWidth = 2 * scaled(marginX);
    int32_t marginHeight = 2 * scaled(marginY);
    limits.minWidth += marginWidth;
    limits.maxWidth += marginWidth;
    limits.minHeight += marginHeight;
    limits.maxHeight += marginHeight;
    return limits;
}

// Room an entry can take beyond its minimum, per unit of weight.
static int32_t Capacity(const AxisLimits& limits, int32_t weight)
{
    return static_cast<int32_t>(static_cast<int64_t>(limits.maxMain - limits.minMain) * 10000 / weight);
}

void ElasticGroup::setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    bool across = horizontal != 0;
    int32_t gap = scaled(spacing);
    RECT inner = {left + scaled(marginX), top + scaled(marginY), right - scaled(marginX),
                  bottom - scaled(marginY)};

    for (int64_t i = 0; i < entries.length(); i++) {
        entries.ref(i).next = nullptr;
        entries.ref(i).size = 0;
    }

    // Distribution order: fixed entries first in child order, then flexible ones by increasing
    // capacity, so that an entry that reaches its maximum leaves its surplus to those with more
    // room. The list is threaded through the entries: layout allocates nothing.
    LayoutEntry* head = nullptr;
    int64_t sumMin = 0;
    int64_t sumWeight = 0;
    int32_t gaps = 0;
    bool first = true;
    for (int64_t i = 0; i < entries.length(); i++) {
        LayoutEntry* entry = &entries.ref(i);
        if (entry->child->isCollapsed())
            continue;
        AxisLimits limits = OnAxis(entry->limits, across);
        bool fixed = entry->weight == 0 || limits.minMain == limits.maxMain;
        LayoutEntry** link = &head;
        while (*link) {
            LayoutEntry* other = *link;
            AxisLimits otherLimits = OnAxis(other->limits, across);
            bool otherFlexible = other->weight != 0 && otherLimits.minMain < otherLimits.maxMain;
            if (otherFlexible &&
                (fixed || Capacity(limits, entry->weight) < Capacity(otherLimits, other->weight)))
                break;
            link = &other->next;
        }
        entry->next = *link;
        *link = entry;
        sumMin += limits.minMain;
        sumWeight += entry->weight;
        if (!first)
            gaps += gap;
        first = false;
    }

    int64_t available = (across ? inner.right - inner.left : inner.bottom - inner.top) - gaps;
    for (LayoutEntry* entry = head; entry; entry = entry->next) {
        AxisLimits limits = OnAxis(entry->limits, across);
        int64_t size;
        if (sumWeight <= 0) {
            size = limits.minMain;
        } else {
            size = (available - sumMin) * entry->weight / sumWeight;
            if (size < 0)
                size = 0;
            size += limits.minMain;
            if (size > limits.maxMain)
                size = limits.maxMain;
        }
        entry->size = static_cast<int32_t>(size);
        available -= size;
        sumMin -= limits.minMain;
        sumWeight -= entry->weight;
    }

    int32_t position = across ? inner.left : inner.top;
    if (across && available > 0) {
        if (alignment == AlignEnd)
            position += static_cast<int32_t>(available);
        else if (alignment == AlignCentre)
            position += static_cast<int32_t>(available / 2);
    }
    for (int64_t i = 0; i < entries.length(); i++) {
        LayoutEntry& entry = entries.ref(i);
        if (entry.child->isCollapsed())
            continue;
        if (across) {
            entry.child->setBounds(position, inner.top, position + entry.size, inner.bottom);
        } else {
            entry.child->setBounds(inner.left, position, inner.right, position + entry.size);
        }
        position += entry.size + gap;
    }
}

bool ElasticGroup::tooltipAt(POINT screenPoint, Str& text)
{
    for (int64_t i = 0; i < entries.length(); i++)
        if (entries.ref(i).child->tooltipAt(screenPoint, text))
            return true;
    return false;
}

uint32_t ElasticGroup::idAt(POINT screenPoint)
{
    for (int64_t i = 0; i < entries.length(); i++)
        if (uint32_t found = entries.ref(i).child->idAt(screenPoint))
            return found;
    return 0;
}

void ElasticGroup::addChild(Control* child)
{
    LayoutEntry entry = {child, child->isSpace() ? 1 : 10000, nullptr, 0, SizeLimits{0, 0, 0, 0}};
    entries.append(entry);
}

void ElasticGroup::removeChild(Control* child)
{
    for (int64_t i = 0; i < entries.length(); i++) {
        if (entries.ref(i).child == child) {
            entries.remove(i, 1);
            return;
        }
    }
}
