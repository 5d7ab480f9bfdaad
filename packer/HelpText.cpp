#include "packer/HelpText.h"

static const char Overview[] = R"(Usage: lumivo-pack COMMAND [OPTIONS]

Builds a Lumivo setup program for 64-bit Windows from an application folder, and reads one.

Commands:
  build APPDIR -o SETUP.exe   pack every file under APPDIR behind the installer stub
  list SETUP.exe              one line per entry: kind, packed size, size, CRC, time, name
  verify SETUP.exe            check and unpack every entry; report the damaged ones
  extract SETUP.exe -C DIR    unpack every entry into DIR

Run "lumivo-pack COMMAND --help" (or "lumivo-pack help COMMAND") for a command's options.

Exit status:
  0  success
  1  a damaged archive or one that was not found, or an output that could not be written
  2  refused input or a usage error; nothing was written
)";

static const char Build[] = R"(Usage: lumivo-pack build APPDIR -o SETUP.exe [--stub STUB.exe] [--uninstaller EXE | --no-uninstaller]
                         [--codec deflate|lzma] [--level 1..12] [--jobs N] [-q]

Packs every regular file under APPDIR into an archive and appends it, with its 16-byte trailer,
to a copy of the installer stub. Each file becomes one entry named by its path relative to
APPDIR with backslashes (docs\readme.txt), compressed whole into a zlib or an LZMA stream, or
stored raw when compression would not make it smaller. Entries are written in a fixed order
(install.script first, then by name), so the same folder always gives the same bytes.

Options:
  -o, --output SETUP.exe  the setup program to write (required). It is written under a
                          temporary name and renamed when complete; a failed build leaves
                          no file behind and an existing SETUP.exe as it was. A SETUP.exe
                          inside APPDIR is not packed into itself.
  --stub STUB.exe         the installer program to append the archive to (default:
                          lumivo-stub.exe next to lumivo-pack). It must be a PE image and
                          must not carry an archive resource (103) of its own.
  --uninstaller EXE       the uninstaller to add under the two names that installations use,
                          "_de_install.exe" (all users) and "_de_installu.exe" (per user)
                          (default: lumivo-uninstall.exe next to lumivo-pack). A name that
                          APPDIR already holds keeps APPDIR's file: an application may bring
                          its own uninstaller.
  --no-uninstaller        add no uninstaller (the application brings both programs itself)
  --codec deflate|lzma    deflate (the default): zlib streams made with libdeflate (kind 1);
                          lzma: LZMA streams made with liblzma at preset 9 extreme (kind 2),
                          about a quarter smaller on programs, several times slower to pack
  --level N               deflate's compression level from 1 (fastest) to 12 (smallest, the
                          default); not with --codec lzma
  --jobs N                files compressed at the same time (default: one per core)
  -q, --quiet             no progress on stderr
  -h, --help              this text

Entry times are the files' modification times, or SOURCE_DATE_EPOCH (seconds since 1970) for
every entry when that variable is set.

Refused, with exit status 2 and the offending file named, before anything is written:
  an APPDIR without install.script; a file of 2 GiB or more, or an archive too large for the
  32-bit fields of the format; two names equal without regard to case; a name that is
  absolute, has a ".." component or holds a character that Windows does not allow (a file
  name with a backslash included); a stub that is not a PE image; a file that cannot be read.
)";

static const char List[] = R"(Usage: lumivo-pack list SETUP.exe

Prints one line per entry of the archive (resource 103, or the appended archive):
  kind  packed size  size  CRC-32 of the stored bytes  time (UTC)  name
The kind is 1 for a zlib stream, 2 for an LZMA stream, 0 for run packing. An entry whose
packed size equals its size is stored raw, whatever its kind. Exit status 1 when no archive is
found or its records break off before the end record.

Options:
  -h, --help  this text
)";

static const char Verify[] = R"(Usage: lumivo-pack verify SETUP.exe

Finds the archive as the installer does (resource 103, else the trailer), checks the CRC of
every entry and unpacks it to its exact size. Prints each damaged entry by name, and exits
with status 1 when any entry is damaged, when the records break off before the end record, or
when no archive is found.

Options:
  -h, --help  this text
)";

static const char Extract[] = R"(Usage: lumivo-pack extract SETUP.exe -C DIR

Unpacks every entry into DIR (created when missing), backslashes becoming folders, with the
entry's time as the file's modification time. A damaged entry, or one whose name is absolute or
climbs out of DIR, is reported by name and nothing is written for it; the exit status is then 1.
Of two entries equal without regard to case only the first is written, as the installer would
only ever read the first.

Options:
  -C, --directory DIR  the folder to unpack into (required)
  -h, --help           this text
)";

std::string HelpText(const std::string& command)
{
    if (command == "build")
        return Build;
    if (command == "list")
        return List;
    if (command == "verify")
        return Verify;
    if (command == "extract")
        return Extract;
    return Overview;
}
