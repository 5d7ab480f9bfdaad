#include "installer/InstallFixture.h"

#include "doctest.h"

#include "archive/ArchiveReader.h"
#include "core/Error.h"
#include "gui/Form.h"
#include "installer/InstallProgram.h"
#include "installer/Shortcut.h"
#include "installer/UninstallRegistration.h"
#include "script/InstallScript.h"
#include "support/AlertAnswers.h"
#include "support/ArchiveBuilder.h"
#include "support/TestFiles.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>

static const wchar_t* UninstallRoot = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

InstallFixture::InstallFixture() : context(), form(nullptr)
{
    CoInitialize(nullptr); // the shell's link object needs COM, as at start-up
    CreateAppContext(&context, GetModuleHandleW(nullptr));
    context.exitCode = 1;
    Language = LangEnglish;
    isAdmin = true;
    form = new Form(FormDialogFrame, L"Install Test", nullptr, 104);
}

InstallFixture::~InstallFixture()
{
    StopAnsweringAlerts();
    delete form;
    if (!programName.empty()) {
        for (bool perUser : {true, false}) {
            UnregisterUninstaller(perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                                  Str((UninstallRoot + programName).c_str()));
            DeleteFileW(LinkPath(StartMenuFolder(perUser), programName).c_str());
            DeleteFileW(LinkPath(DesktopFolder(perUser), programName).c_str());
        }
    }
    ReleaseInstallScript();
    ReleaseArchive();
    Language = LangPolish;
    DestroyAppContext(&context);
    CoUninitialize();
}

void InstallFixture::useArchive(const std::vector<std::pair<std::wstring, std::string>>& entries, uint64_t time)
{
    archive.clear();
    for (const auto& entry : entries) {
        std::u16string name(entry.first.begin(), entry.first.end());
        archive += ZlibRecord(name, entry.second, time);
    }
    archive += EndRecord();
    ReleaseArchive();
    UseArchive(Bytes(archive), static_cast<int32_t>(archive.size()));
}

void InstallFixture::useProgram(const std::wstring& name, const std::wstring& copy, bool perUser)
{
    programName = name;
    ScriptValues.clear();
    ScriptValues.set(Str(L"copy-files"), Str(copy.c_str()));
    Script = InstallScript();
    Script.programName = name.c_str();
    Script.exeFile = L"foo.exe";
    Script.installDir = installDir().c_str();
    Script.perUserInstall = perUser;
    Script.offerAllUsers = perUser;
    Script.preferShared = true;
}

std::wstring InstallFixture::installDir() const
{
    return scratch.path(programName);
}

static InstallFixture* Current = nullptr;

static void RecordStatus(InstallHost&, const Str& line1, const Str& line2)
{
    Current->statusLines.emplace_back(line1.text(), line2.text());
}

static void RecordProgress(InstallHost& host, int64_t done, int64_t total)
{
    Current->progress.emplace_back(done, total);
    if (Current->atProgress)
        Current->atProgress();
    if (static_cast<int64_t>(Current->progress.size()) == Current->cancelAtProgress)
        host.cancelRequested = true;
}

static void RecordLog(InstallHost&, const Str& line)
{
    Current->logLines.emplace_back(line.text());
}

bool InstallFixture::install()
{
    Current = this;
    try {
        InstallHost host;
        host.form = silent ? nullptr : form;
        host.silent = silent;
        host.onlyAdministratorsCanChange = rightsCheck;
        host.setStatus = RecordStatus;
        host.setProgress = RecordProgress;
        host.writeLog = RecordLog;
        InstallProgram(host);
        return true;
    } catch (const Abort&) {
        return false;
    }
}

HeldFile::HeldFile(const std::wstring& path)
    : handle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr))
{
    REQUIRE(handle != INVALID_HANDLE_VALUE);
}

void HeldFile::release()
{
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

void AnswerAlertsReleasing(const std::vector<int>& answers, HeldFile& held)
{
    AnswerAlerts(answers, [&held](size_t index) {
        if (index == 0)
            held.release();
    });
}

uint64_t LastWriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

static HKEY OpenUninstallKey(bool perUser, const std::wstring& programName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, (UninstallRoot + programName).c_str(), 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

std::wstring RegistryText(bool perUser, const std::wstring& programName, const wchar_t* value)
{
    HKEY key = OpenUninstallKey(perUser, programName);
    if (!key)
        return L"<absent>";
    wchar_t buffer[2048];
    DWORD bytes = sizeof buffer, type = 0;
    LONG result = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return L"<absent>";
    return std::wstring(buffer, bytes / 2 > 0 ? bytes / 2 - 1 : 0);
}

int64_t RegistryNumber(bool perUser, const std::wstring& programName, const wchar_t* value)
{
    HKEY key = OpenUninstallKey(perUser, programName);
    if (!key)
        return -1;
    DWORD number = 0, bytes = sizeof number, type = 0;
    LONG result = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&number), &bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD ? number : -1;
}

int RegistryValueCount(bool perUser, const std::wstring& programName)
{
    HKEY key = OpenUninstallKey(perUser, programName);
    if (!key)
        return -1;
    DWORD values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return static_cast<int>(values);
}

std::string RegistryState(bool perUser, const std::wstring& programName)
{
    HKEY key = OpenUninstallKey(perUser, programName);
    if (!key)
        return "<no key>";
    std::vector<std::string> lines;
    wchar_t name[512];
    BYTE data[4096];
    for (DWORD i = 0;; i++) {
        DWORD nameLength = 512, size = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        std::string line(name, name + nameLength);
        line += " " + std::to_string(type) + " ";
        for (DWORD j = 0; j < size; j++) {
            static const char digits[] = "0123456789abcdef";
            line += digits[data[j] >> 4];
            line += digits[data[j] & 15];
        }
        lines.push_back(line);
    }
    RegCloseKey(key);
    std::sort(lines.begin(), lines.end());
    std::string state;
    for (const std::string& line : lines)
        state += line + "\n";
    return state;
}

bool RegistryKeyExists(bool perUser, const std::wstring& programName)
{
    HKEY key = OpenUninstallKey(perUser, programName);
    if (key)
        RegCloseKey(key);
    return key != nullptr;
}

std::wstring LinkPath(int csidl, const std::wstring& programName)
{
    wchar_t folder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, folder)))
        return L"";
    return std::wstring(folder) + L"\\" + programName + L".lnk";
}

std::vector<std::wstring> Leftovers(InstallFixture& scene)
{
    std::vector<std::wstring> found;
    for (const std::wstring& name : FolderContents(scene.installDir()))
        if (name.find(L"$$") != std::wstring::npos)
            found.push_back(name);
    return found;
}
