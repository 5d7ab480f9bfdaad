#include "gui/AccessibleAnnotation.h"

#include "gui/SystemFunction.h"

#include <oleacc.h>

#include <new>

namespace {

typedef HRESULT(WINAPI* CreateStdAccessibleObjectFunction)(HWND, LONG, REFIID, void**);
typedef LRESULT(WINAPI* LresultFromObjectFunction)(REFIID, WPARAM, LPUNKNOWN);

CreateStdAccessibleObjectFunction CreateStandardObject = nullptr;
LresultFromObjectFunction ResultFromObject = nullptr;
bool LookedUp = false;

bool AccessibilityLibrary()
{
    if (!LookedUp) {
        LookedUp = true;
        CreateStandardObject = reinterpret_cast<CreateStdAccessibleObjectFunction>(
            LookUpSystemFunction(L"oleacc.dll", "CreateStdAccessibleObject"));
        ResultFromObject = reinterpret_cast<LresultFromObjectFunction>(
            LookUpSystemFunction(L"oleacc.dll", "LresultFromObject"));
    }
    return CreateStandardObject && ResultFromObject;
}

bool IsSelf(const VARIANT& child)
{
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT TextAnswer(const Str& text, BSTR* answer)
{
    if (!answer)
        return E_INVALIDARG;
    *answer = SysAllocStringLen(text.text(), static_cast<UINT>(text.length()));
    return *answer ? S_OK : E_OUTOFMEMORY;
}

// The system's accessible object of the client area, with the annotated answers for the object
// itself (its children answer as the system says).
class AnnotatedObject final : public IAccessible {
public:
    AnnotatedObject(IAccessible* standard, const AccessibleAnnotation& annotation)
        : standard(standard), annotation(annotation)
    {
    }
    AnnotatedObject(const AnnotatedObject&) = delete;
    AnnotatedObject& operator=(const AnnotatedObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        // Child enumeration and the window of the object come from the system's object.
        return standard->QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&count)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&count);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        return standard->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override
    {
        return standard->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override
    {
        return standard->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override
    {
        return standard->Invoke(id, iid, locale, flags, parameters, result, exception, argumentError);
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        return standard->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override
    {
        return standard->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        return standard->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (IsSelf(child) && !annotation.name.isEmpty())
            return TextAnswer(annotation.name, name);
        return standard->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        return standard->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override
    {
        if (IsSelf(child) && !annotation.description.isEmpty())
            return TextAnswer(annotation.description, description);
        return standard->get_accDescription(child, description);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (IsSelf(child) && annotation.role != 0 && role) {
            VariantInit(role);
            role->vt = VT_I4;
            role->lVal = annotation.role;
            return S_OK;
        }
        return standard->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        return standard->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override
    {
        return standard->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override
    {
        return standard->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override
    {
        return standard->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override
    {
        return standard->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        return standard->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override
    {
        return standard->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override
    {
        return standard->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override
    {
        return standard->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override
    {
        return standard->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return standard->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override
    {
        return standard->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override
    {
        return standard->put_accValue(child, value);
    }

private:
    ~AnnotatedObject() { standard->Release(); }

    LONG count = 1;
    IAccessible* standard; // owned: one reference
    AccessibleAnnotation annotation;
};

} // namespace

bool AnswerAccessibleObject(HWND window, const AccessibleAnnotation& annotation, WPARAM wParam, LPARAM lParam,
                            LRESULT& result)
{
    if (static_cast<LONG>(lParam) != OBJID_CLIENT || !window)
        return false;
    if (annotation.name.isEmpty() && annotation.description.isEmpty() && annotation.role == 0)
        return false;
    if (!AccessibilityLibrary())
        return false;
    IAccessible* standard = nullptr;
    if (FAILED(CreateStandardObject(window, OBJID_CLIENT, IID_IAccessible,
                                    reinterpret_cast<void**>(&standard))) ||
        !standard)
        return false;
    AnnotatedObject* annotated = new (std::nothrow) AnnotatedObject(standard, annotation);
    if (!annotated) {
        standard->Release();
        return false;
    }
    // LresultFromObject takes a reference of its own for the caller; ours goes at once.
    result = ResultFromObject(IID_IAccessible, wParam, static_cast<IAccessible*>(annotated));
    annotated->Release();
    return result > 0;
}
