#include "gui/Color.h"

static int32_t BlendChannel(int32_t a, int32_t b, int32_t percent)
{
    return a * (100 - percent) / 100 + b * percent / 100;
}

COLORREF BlendColor(COLORREF a, COLORREF b, int32_t percent)
{
    return RGB(BlendChannel(GetRValue(a), GetRValue(b), percent),
               BlendChannel(GetGValue(a), GetGValue(b), percent),
               BlendChannel(GetBValue(a), GetBValue(b), percent));
}

static bool SystemHighContrast()
{
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

HighContrastReader ReadHighContrast = SystemHighContrast;

bool HighContrastOn()
{
    return ReadHighContrast();
}
