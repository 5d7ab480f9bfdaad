#include "installer/LicenceDialog.h"

#include "archive/ArchiveReader.h"
#include "core/AppContext.h"
#include "gui/Button.h"
#include "gui/ButtonsBar.h"
#include "gui/EditText.h"
#include "gui/ElasticGroup.h"
#include "installer/MainForm.h"
#include "script/InstallScript.h"

void LicenceDialog::onClose(MessageRecord& record)
{
    pressedId = 2;
    quitLoop();
}

void LicenceDialog::onCommand(MessageRecord& record)
{
    uint32_t id = LOWORD(record.wParam);
    if (id == 1 || id == 2) {
        pressedId = static_cast<int32_t>(id);
        quitLoop();
    }
}

Str WithWindowsLineEnds(const Str& text)
{
    const wchar_t* units = text.text();
    int64_t length = text.length(), extra = 0;
    for (int64_t i = 0; i < length; i++)
        if ((units[i] == L'\r' && (i + 1 == length || units[i + 1] != L'\n')) ||
            (units[i] == L'\n' && (i == 0 || units[i - 1] != L'\r')))
            extra++;
    if (extra == 0)
        return text;
    Str result = Str::Allocate(length + extra);
    wchar_t* out = result.bufferForFilling();
    for (int64_t i = 0; i < length; i++) {
        if (units[i] == L'\r' && (i + 1 == length || units[i + 1] != L'\n')) {
            *out++ = L'\r';
            *out++ = L'\n';
        } else if (units[i] == L'\n' && (i == 0 || units[i - 1] != L'\r')) {
            *out++ = L'\r';
            *out++ = L'\n';
        } else {
            *out++ = units[i];
        }
    }
    return result;
}

int32_t RunLicenceDialog(Form* owner, const wchar_t* title, const Str& text)
{
    LicenceDialog* dialog = new LicenceDialog();
    try {
        dialog->pressedId = -1;
        dialog->initDialog(owner, LicenceFormId, title);
        ElasticGroup* content = new ElasticGroup(0, dialog);
        content->spacing = 8;
        content->marginX = 8;
        content->marginY = 8;
        EditText* licence = new EditText(content, Tr(L"&Licencja programu", L"&Licence"));
        licence->minLines = 20;
        licence->maxLines = 20;
        // Its tooltip is no name for a screen reader.
        licence->accessible.name = Tr(L"Licencja", L"Licence");
        ButtonsBar* buttons = new ButtonsBar(content);
        Button* ok =
            new Button(buttons, L"&OK", 1, Tr(L"Naciśnij, aby zamknąć okno.", L"Closes the window."));
        dialog->maxInitialWidth = 500;
        licence->setText(WithWindowsLineEnds(text).text());
        dialog->runModal(ok);
    } catch (...) {
        delete dialog;
        throw;
    }
    int32_t pressed = dialog->pressedId;
    delete dialog;
    return pressed;
}

void ShowLicence(MainForm& form)
{
    Str text = ReadEntryText(Script.licenceEntry.text());
    Str title = Language == LangPolish ? Concat(Str(L"Licencja programu "), Script.programName)
                                       : Concat(Script.programName, Str(L" Licence"));
    RunLicenceDialog(&form, title.text(), text);
}
