#include "core/FileSecurity.h"

#include "core/Owned.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

namespace {

// Rights that let their holder change an object or what lies in it.
const ACCESS_MASK ChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                   FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                   WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// Rights over a folder on the way to another that let their holder move or replace what lies on
// that way. Adding entries does not: a drive's root lets every user create folders in it.
const ACCESS_MASK ReplacingRights = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

ACCESS_MASK RightsOf(ChangeScope scope)
{
    switch (scope) {
    case ChangeScope::Entries:
        return ReplacingRights;
    case ChangeScope::RootEntries:
        return ReplacingRights & ~DELETE;
    default:
        return ChangingRights;
    }
}

const wchar_t* const TrustedInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// The owner and the access list of an object, kept together with the block that holds them.
struct Rights {
    OwnedLocal descriptor;
    PSID owner = nullptr;
    PACL dacl = nullptr;
};

bool ReadRights(HANDLE handle, Rights& rights)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &rights.owner, nullptr, &rights.dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    rights.descriptor.reset(descriptor);
    return rights.owner != nullptr;
}

// Calls visit for every allow entry that applies to the object itself and grants a changing
// right. False when an entry grants such a right in a form that cannot be read (it counts
// against the object).
template <class Visit> bool ForEachChanger(PACL dacl, ACCESS_MASK rights, Visit visit)
{
    ACL_SIZE_INFORMATION size = {};
    if (!GetAclInformation(dacl, &size, sizeof size, AclSizeInformation))
        return false;
    for (DWORD i = 0; i < size.AceCount; i++) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry))
            return false;
        ACE_HEADER* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue; // only for what is created inside
        bool allows = header->AceType == ACCESS_ALLOWED_ACE_TYPE ||
                      header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
                      header->AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE ||
                      header->AceType == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE;
        if (!allows)
            continue; // denials only take rights away
        ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if (!(allowed->Mask & rights))
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
            return false;
        if (!visit(static_cast<PSID>(&allowed->SidStart)))
            return false;
    }
    return true;
}

// The principals that count as administrators: the system, the Administrators group,
// TrustedInstaller, and whoever can change the all-users program folder.
struct Administrators {
    BYTE system[SECURITY_MAX_SID_SIZE];
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    OwnedLocal trustedInstaller;
    BYTE elevatedUser[SECURITY_MAX_SID_SIZE]; // the user this process runs as, when it is an administrator
    Rights programFolder;
    bool programFolderRead = false;

    Administrators()
    {
        DWORD size = sizeof system;
        if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size))
            system[0] = 0;
        size = sizeof administrators;
        if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size))
            administrators[0] = 0;
        elevatedUser[0] = 0;
        BOOL member = FALSE;
        OwnedHandle token;
        if (administrators[0] && CheckTokenMembership(nullptr, administrators, &member) && member &&
            OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) {
            alignas(8) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
            DWORD length = 0;
            if (GetTokenInformation(token.get(), TokenUser, user, sizeof user, &length))
                CopySid(sizeof elevatedUser, elevatedUser, reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
        }
        PSID sid = nullptr;
        if (ConvertStringSidToSidW(TrustedInstaller, &sid))
            trustedInstaller.reset(sid);
        wchar_t folder[MAX_PATH + 1] = {};
        if (SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE)) {
            OwnedFileHandle handle(CreateFileW(folder, READ_CONTROL,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            programFolderRead = handle && ReadRights(handle.get(), programFolder) && programFolder.dacl;
        }
    }

    bool isBuiltIn(PSID sid) const
    {
        return (system[0] && EqualSid(sid, const_cast<BYTE*>(system))) ||
               (administrators[0] && EqualSid(sid, const_cast<BYTE*>(administrators))) ||
               (trustedInstaller && EqualSid(sid, trustedInstaller.get())) ||
               (elevatedUser[0] && EqualSid(sid, const_cast<BYTE*>(elevatedUser)));
    }

    bool contains(PSID sid) const
    {
        if (isBuiltIn(sid))
            return true;
        if (!programFolderRead)
            return false;
        if (EqualSid(sid, programFolder.owner))
            return true;
        bool found = false;
        ForEachChanger(programFolder.dacl, ChangingRights, [&](PSID changer) {
            found = found || EqualSid(sid, changer);
            return true;
        });
        return found;
    }
};

} // namespace

bool OnlyAdministratorsCanChange(HANDLE handle, ChangeScope scope)
{
    Rights rights;
    if (!ReadRights(handle, rights))
        return false;
    if (!rights.dacl)
        return false; // no access list: everyone may do everything
    Administrators administrators;
    if (!administrators.contains(rights.owner))
        return false; // an owner may always change the rights
    return ForEachChanger(rights.dacl, RightsOf(scope),
                          [&](PSID changer) { return administrators.contains(changer); });
}

bool IsReparsePointHandle(HANDLE handle)
{
    FILE_ATTRIBUTE_TAG_INFO info = {};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info))
        return true;
    return (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
