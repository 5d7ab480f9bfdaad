#include "gui/ControlGroup.h"

ControlGroup::~ControlGroup() {}
