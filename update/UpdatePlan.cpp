#include "update/UpdatePlan.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/UpdateFormat.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/KeyValueList.h"
#include "core/Owned.h"
#include "core/Utf8.h"
#include "installer/ListItem.h"
#include "script/ScriptValues.h"

#include <windows.h>

static bool FindRecord(const Str& name, ArchiveEntry& entry)
{
    const uint8_t* record = FindEntry(name.text(), name.length());
    if (!record)
        return false;
    ArchiveWalk walk = StartWalk(record, Payload.base + Payload.length - record);
    return NextEntry(walk, entry); // whole: it was found through the index
}

bool IsUpdateInstaller()
{
    ArchiveEntry record;
    return FindUpdateRecord(Payload.base, Payload.length, record);
}

static StrArray Copy(const StrArray& items)
{
    StrArray copy;
    copy.makeEmpty();
    for (int64_t i = 0; i < items.length(); i++)
        copy.append(items.ref(i));
    return copy;
}

UpdatePlan PlanUpdate(const StrArray& entryNames, const StrArray& entryPaths)
{
    UpdatePlan plan;
    plan.writtenNames = entryNames;
    plan.writtenPaths = entryPaths;
    ArchiveEntry record;
    if (!FindUpdateRecord(Payload.base, Payload.length, record))
        return plan;
    if (record.packedSize != record.size || Crc32(record.data, record.packedSize) != record.crc)
        throw WinError(ErrCorrupted, ModuleFileName().text());
    plan.isUpdate = true;
    KeyValueList values;
    ParseKeyValueText(Utf8ToStr(record.data, record.size), values);
    plan.baseVersion = values.valueOf(L"base-version");
    plan.removed = SplitList(values.valueOf(L"removed"));

    plan.kept.makeEmpty();
    plan.kept.resize(entryNames.length());
    plan.baseFiles.makeEmpty();
    plan.writtenNames.makeEmpty();
    plan.writtenPaths.makeEmpty();
    for (int64_t i = 0; i < entryNames.length(); i++) {
        const Str& name = entryNames.ref(i);
        ArchiveEntry entry;
        bool found = FindRecord(name, entry);
        uint32_t crc;
        PatchFields fields;
        if (found && entry.kind == EntryKindKept) {
            if (!ReadKeptCrc(entry, crc))
                throw CrcError(name.text());
            plan.kept.ref(i) = 1;
            plan.baseFiles.append(BaseFile {name, entryPaths.ref(i), entry.size, crc});
            continue;
        }
        // A patch whose fields are damaged fails as damaged when it is unpacked.
        if (found && NeedsBase(entry) && ReadPatchFields(entry, fields))
            plan.baseFiles.append(BaseFile {name, entryPaths.ref(i), fields.baseSize, fields.baseCrc});
        plan.writtenNames.append(name);
        plan.writtenPaths.append(entryPaths.ref(i));
    }
    plan.basePaths = Copy(plan.writtenPaths);
    return plan;
}

// Reads exactly count bytes of the file at the written entry's destination, on a worker thread:
// the path is only read, never copied (texts are counted without locks).
static bool ReadBase(void* context, int64_t index, uint8_t* into, int64_t count)
{
    const StrArray& paths = *static_cast<const StrArray*>(context);
    if (index < 0 || index >= paths.length())
        return false;
    OwnedFileHandle file(CreateFileW(paths.ref(index).text(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart != count)
        return false;
    for (int64_t done = 0; done < count;) {
        DWORD piece = count - done > (1 << 30) ? (1u << 30) : static_cast<DWORD>(count - done), got = 0;
        if (!ReadFile(file.get(), into + done, piece, &got, nullptr) || got == 0)
            return false;
        done += got;
    }
    return true;
}

PatchBaseReader InstalledBaseReader(const UpdatePlan& plan)
{
    return PatchBaseReader {ReadBase, const_cast<StrArray*>(&plan.basePaths)};
}
