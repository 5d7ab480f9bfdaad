// A scene for installation tests: an archive in memory, the settings of a program, a real form
// that owns the alerts, and the clean-up of everything an installation may leave behind (files,
// registry keys, links).
#ifndef LUMIVO_TESTS_INSTALLFIXTURE_H
#define LUMIVO_TESTS_INSTALLFIXTURE_H

#include "core/AppContext.h"
#include "installer/InstallHost.h"
#include "support/TestFiles.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

class Form;

struct InstallFixture {
    InstallFixture();
    ~InstallFixture();

    // Uses an archive of these (name, content) entries, each stamped with time.
    void useArchive(const std::vector<std::pair<std::wstring, std::string>>& entries, uint64_t time);
    // Settings of a program named name, installed into dir\name; copy is the list of files to copy.
    void useProgram(const std::wstring& name, const std::wstring& copy, bool perUser);
    // Runs the installation with the test form; true when it ran to its end, false on Abort.
    bool install();

    std::wstring installDir() const;
    std::wstring programName;
    std::vector<std::pair<std::wstring, std::wstring>> statusLines; // every setStatus, in order
    std::vector<std::pair<int64_t, int64_t>> progress;             // every setProgress: done, total
    std::vector<std::wstring> logLines;                            // every line of the log, in order
    int64_t cancelAtProgress = -1; // the progress call at which the user asks to cancel
    std::function<void()> atProgress; // called at every progress report
    bool silent = false;              // no form: the alerts go into the log, their first answer taken
    RightsCheck rightsCheck = nullptr; // who may change a folder, as the host asks it
    ScratchDir scratch;
    std::string archive;
    AppContext context;
    Form* form;
};

// A file held open without sharing, as another program holds it, until released.
struct HeldFile {
    explicit HeldFile(const std::wstring& path);
    ~HeldFile() { release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    void release();
    void* handle;
};
// Answers the alerts (AnswerAlerts), letting go of the held file just before the first answer.
void AnswerAlertsReleasing(const std::vector<int>& answers, HeldFile& held);

// The "$$" temporaries left in the scene's installation directory.
std::vector<std::wstring> Leftovers(InstallFixture& scene);

uint64_t LastWriteTime(const std::wstring& path);
// The value of a registry text, or "<absent>".
std::wstring RegistryText(bool perUser, const std::wstring& programName, const wchar_t* value);
// The value of a registry number, or -1.
int64_t RegistryNumber(bool perUser, const std::wstring& programName, const wchar_t* value);
int RegistryValueCount(bool perUser, const std::wstring& programName);
// Every value of the program's uninstall key (name, type, data in hexadecimal), sorted, or
// "<no key>".
std::string RegistryState(bool perUser, const std::wstring& programName);
bool RegistryKeyExists(bool perUser, const std::wstring& programName);
// The path of a link file in a shell folder.
std::wstring LinkPath(int csidl, const std::wstring& programName);

#endif
