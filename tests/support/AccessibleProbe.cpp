#include "support/AccessibleProbe.h"

#include <oleacc.h>

namespace {

typedef HRESULT(WINAPI* AccessibleObjectFromWindowFunction)(HWND, DWORD, REFIID, void**);

// The test programs import system DLLs of the short list only: the library is looked up.
AccessibleObjectFromWindowFunction ObjectFromWindow()
{
    static AccessibleObjectFromWindowFunction function = [] {
        HMODULE library = LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return library ? reinterpret_cast<AccessibleObjectFromWindowFunction>(reinterpret_cast<void (*)()>(
                             GetProcAddress(library, "AccessibleObjectFromWindow")))
                       : nullptr;
    }();
    return function;
}

std::wstring Take(BSTR text)
{
    std::wstring copy = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return copy;
}

} // namespace

AccessibleAnswers ReadAccessible(HWND window)
{
    AccessibleAnswers answers;
    AccessibleObjectFromWindowFunction fromWindow = ObjectFromWindow();
    if (!fromWindow)
        return answers;
    HRESULT com = CoInitialize(nullptr);
    IAccessible* object = nullptr;
    if (SUCCEEDED(fromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                             reinterpret_cast<void**>(&object))) &&
        object) {
        answers.available = true;
        VARIANT self;
        VariantInit(&self);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR text = nullptr;
        if (object->get_accName(self, &text) == S_OK)
            answers.name = Take(text);
        text = nullptr;
        if (object->get_accDescription(self, &text) == S_OK)
            answers.description = Take(text);
        VARIANT role;
        VariantInit(&role);
        if (object->get_accRole(self, &role) == S_OK && role.vt == VT_I4)
            answers.role = role.lVal;
        VariantClear(&role);
        object->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return answers;
}
