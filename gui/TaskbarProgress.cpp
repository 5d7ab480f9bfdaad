#include "gui/TaskbarProgress.h"

#include "gui/ProgressBar.h"

bool TaskbarProgress::available()
{
    if (!asked) {
        asked = true;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    list.receiveVoid())) ||
            FAILED(list->HrInit()))
            list.reset();
    }
    return static_cast<bool>(list);
}

void TaskbarProgress::show(HWND window, int64_t done, int64_t total)
{
    int32_t position = ProgressPosition(done, total);
    if (position == shownPosition || !available())
        return;
    if (shownPosition < 0)
        list->SetProgressState(window, TBPF_NORMAL);
    shownPosition = position;
    list->SetProgressValue(window, static_cast<ULONGLONG>(position), ProgressRange);
}

void TaskbarProgress::clear(HWND window)
{
    if (shownPosition < 0 || !list)
        return;
    shownPosition = -1;
    list->SetProgressState(window, TBPF_NOPROGRESS);
}
