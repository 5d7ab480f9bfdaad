#include "packer/HelpText.h"

static const char Overview[] = R"(Usage: lumivo-pack COMMAND [OPTIONS]

Builds a Lumivo setup program for 64-bit Windows from an application folder, and reads one.

Commands:
  init APPDIR                 write a commented install.script to start from
  build APPDIR -o SETUP.exe   pack every file under APPDIR into a copy of the installer stub
                              (--base OLD.exe: an update installer that carries only what
                              changed since OLD.exe)
  list SETUP.exe              one line per entry: kind, packed size, size, CRC, time, name
  verify SETUP.exe            check and unpack every entry; report the damaged ones
  extract SETUP.exe -C DIR    unpack every entry into DIR

Run "lumivo-pack COMMAND --help" (or "lumivo-pack help COMMAND") for a command's options, and
"lumivo-pack --version" for the version, the libdeflate version and the stub in use.

The stub and the uninstaller come from PREFIX/share/lumivo when lumivo-pack is installed in
PREFIX/bin, else from beside lumivo-pack.

Exit status:
  0  success
  1  a damaged archive or one that was not found, or an output that could not be written
  2  refused input or a usage error; nothing was written
)";

static const char Build[] =
    R"(Usage: lumivo-pack build APPDIR -o SETUP.exe [--stub STUB.exe] [--uninstaller EXE | --no-uninstaller]
                         [--icon FILE.ico] [--appended] [--codec deflate|lzma]
                         [--no-solid] [--block-size SIZE] [--level 1..12] [--jobs N]
                         [--follow-links] [--base OLD.exe] [-q]

Packs every regular file under APPDIR into an archive and builds SETUP.exe from the installer
stub with the archive as its resource 103 (RCDATA, language neutral), in a rebuilt resource
section that keeps every resource of the stub. Each file becomes one entry named by its path
relative to APPDIR with backslashes (docs\readme.txt). With deflate, and with lzma --no-solid,
each is compressed whole into a zlib or an LZMA stream, or stored raw when compression would not
make it smaller, in a fixed order (install.script first, then by name). With lzma the files go
into solid blocks instead: several files in one LZMA stream, each compressed with the bytes of
the files before it, in the order the installer writes them (the uninstaller, then copy-files
expanded as the installer expands it, then the files no list names; where a pattern leaves the
order free, files of one extension sit together). install.script and the licence texts, which
the installer reads before anything else, keep entries of their own; names that are one file on
disk (the uninstaller's two names, hard links) store its bytes once. The same folder, stub, icon
and output name always give the same bytes.

SETUP.exe also carries version information taken from install.script: ProductName (name),
FileDescription ("<name> Setup"), CompanyName (publisher), LegalCopyright (copyright),
ProductVersion and FileVersion (version; the numbers from its leading dotted numbers) and
OriginalFilename (the name of SETUP.exe). Sign SETUP.exe after building it; a signature
appended later does not disturb the archive in either layout.

Options:
  -o, --output SETUP.exe  the setup program to write (required). It is written under a
                          temporary name and renamed when complete; a failed build leaves
                          no file behind and an existing SETUP.exe as it was. A SETUP.exe
                          inside APPDIR is not packed into itself.
  --stub STUB.exe         the installer program to build from (default: lumivo-stub.exe of
                          this installation, as lumivo-pack --version shows). It must be an
                          unsigned PE image whose resource section is last (apart from the
                          base relocations, which are moved behind it), with nothing behind
                          its last section and no archive resource (103) of its own. The
                          sections for debuggers of an unstripped build (.debug_*, behind the
                          resources) and its symbol table are left out of SETUP.exe, in both
                          layouts.
  --uninstaller EXE       the uninstaller to add under the two names that installations use,
                          "_de_install.exe" (all users) and "_de_installu.exe" (per user)
                          (default: lumivo-uninstall.exe beside the default stub). A name that
                          APPDIR already holds keeps APPDIR's file: an application may bring
                          its own uninstaller.
  --no-uninstaller        add no uninstaller (the application brings both programs itself)
  --icon FILE.ico         the icon of SETUP.exe: replaces the stub's icon group 101 with every
                          size in FILE.ico (bitmaps or PNGs)
  --appended              put the archive behind the image with a 16-byte trailer instead of
                          into resource 103. Chosen by itself, and said so, when the archive
                          would make an image of 2 GiB or more, which Windows does not load.
  --codec deflate|lzma    deflate (the default): zlib streams made with libdeflate (kind 1);
                          lzma: solid blocks (kind 3) made with liblzma at preset 9
                          with a dictionary of up to 64 MiB: less than half deflate's size on
                          programs and on many small files, several times slower to pack; the
                          first block (kind 8) starts from the stub's code, which makes the
                          uninstaller in it about a third of its usual size. A file of 1 MiB
                          or more that looks like noise in every MiB (compressed or encrypted
                          data) is stored as it is, outside the blocks, and ends the block
                          before it: LZMA would gain nothing and decode it slowly
  --no-solid              with lzma: one LZMA stream per file (kind 2) instead of solid blocks
  --block-size SIZE       with lzma: blocks of about SIZE bytes (64K to 2047M; K, M and G count
                          in KiB, MiB and GiB); a file larger than that gets a block of its
                          own. By default a payload of up to 256 MiB is one block, and a larger
                          one is shared out evenly among the fewest blocks of at most about
                          256 MiB each (every cut costs size; the installer decodes blocks in
                          parallel). Each block is compressed by one thread: only a payload
                          of several blocks packs on several cores
  --level N               deflate's compression level from 1 (fastest) to 12 (smallest) for
                          every file; by default 12 for files of 64 KiB to 4 MiB, 9 for smaller
                          ones, where 12 takes five times as long for about 4 % less, and 10 for
                          larger ones, where 12 takes 1.8 times as long for 0.15 % less;
                          not with --codec lzma
  --jobs N                threads that compress at the same time (default: one per core):
                          files, or solid blocks; with deflate a file larger than 4 MiB is
                          compressed in slices of 1 MiB on all of them, still one zlib stream
                          (about 0.2 % larger than one compressed whole)
  --follow-links          pack a symbolic link to a file inside APPDIR as that file, under the
                          link's name (links are refused otherwise; links to folders and links
                          that lead outside APPDIR are always refused)
  --base OLD.exe          build an update installer that installs over the installation of
                          OLD.exe (any setup program of this program built by lumivo-pack,
                          signed or not, in either layout; not an update installer) and
                          carries only what changed: a file whose bytes equal OLD.exe's is
                          kept (only its size and CRC-32 are stored, kind 5); a changed file
                          is stored as a patch (kind 4: an LZMA stream whose dictionary starts
                          with OLD.exe's bytes of that file, with their size and CRC-32) when
                          that is smaller than its usual entry; new files are stored as
                          usual, and the files of OLD.exe that APPDIR lacks are listed for
                          removal. install.script and the licence files are always stored
                          whole (the installer reads them before it installs). The update
                          installer installs only over the version of OLD.exe, with exactly
                          its files: it checks them before it changes anything. Prints the
                          sizes of the update and of the full installer. Both must name the
                          same program.
  -q, --quiet             no progress on stderr
  -h, --help              this text

Entry times are the files' modification times, or SOURCE_DATE_EPOCH (seconds since 1970) for
every entry when that variable is set; SOURCE_DATE_EPOCH also becomes the image's time stamp
(else the stub's stays).

Refused, with exit status 2 and the offending file named, before anything is written:
  an APPDIR without install.script; a symbolic link (see --follow-links); a file of 2 GiB or
  more, or an archive too large for the 32-bit fields of the format; two names equal without
  regard to case; a name that is absolute, has a "." or ".." component, names a Windows device
  (CON, PRN, AUX, NUL, COM0-9, LPT0-9, also with an extension), has a component ending in a dot
  or a space, or holds a control character or a character that Windows does not allow (a file
  name with a backslash included); a stub that is not a PE image or cannot carry the archive
  (truncated headers, overlapping sections, a resource section that is not last, a signature);
  an icon file that is malformed; a file that cannot be read; a file that changes (is replaced,
  grows or shrinks) while it is packed.
)";

static const char Init[] = R"(Usage: lumivo-pack init APPDIR [--name NAME] [--exe FILE]

Writes APPDIR/install.script to start from: the program's name, its main executable, every
entry to copy (copy-files=*), a Start-menu and a desktop shortcut, the window in the language
of Windows, and every other key as a comment that explains it. Edit it, then run
lumivo-pack build. An existing install.script is never overwritten (exit status 2).

Options:
  --name NAME  the program's name (default: the folder's name)
  --exe FILE   the main executable, relative to APPDIR (default: the one .exe at the top of
               APPDIR when there is exactly one; otherwise the key is left as a comment)
  -h, --help   this text
)";

static const char List[] = R"(Usage: lumivo-pack list SETUP.exe

Prints one line per entry of the archive (resource 103, or the appended archive, also when a
signature follows it):
  kind  packed size  size  CRC-32 of the stored bytes  time (UTC)  name
The kind is 1 for a zlib stream, 2 for an LZMA stream, 0 for run packing, 3 for a solid block
of several files, 8 for a solid block that starts from the setup program's code. An entry whose packed size equals its size is stored raw, whatever its kind
(a solid block never is). Each file of a solid block follows its block's line, indented, with
"-" for its packed size and the CRC-32 of its own bytes; names of one file on disk share a
size and a CRC-32. For an update installer (built with --base) a word before the name says what
each entry is: whole (stored as usual), patch (kind 4, unpacked against the installed file) or
kept (kind 5, left as installed); then one line "removed NAME" per file that the update removes,
and the version it installs over. Control characters in names are
shown as \xHH, invisible direction marks as \uHHHH. Exit status 1 when no archive is found or
its records break off before the end record.

Options:
  -h, --help  this text
)";

static const char Verify[] = R"(Usage: lumivo-pack verify SETUP.exe [--base OLD.exe]

Finds the archive as the installer does (resource 103, else the trailer, which in a signed
file ends where the signature begins), checks the CRC of every entry and unpacks it to its
exact size; a solid block is decoded file by file, each file checked against its own CRC-32.
Prints each damaged entry by name (in a solid block: the damaged file and the ones after it
that cannot be decoded, or the block when its directory is damaged), and exits with status 1
when any entry is damaged, when the records break off before the end record, or when no
archive is found.

An update installer's kept files and patches need their base: without --base only their
stored bytes and fields are checked (and the verdict says how many were not unpacked); with
--base every patch is unpacked against OLD.exe's file and must give the file's size and
CRC-32, every kept file must be OLD.exe's, and OLD.exe must be the version the update
installs over.

Options:
  --base OLD.exe  the setup program that the update installer was built against
  -h, --help      this text
)";

static const char Extract[] = R"(Usage: lumivo-pack extract SETUP.exe -C DIR [--base OLD.exe]

Unpacks every entry into DIR (created when missing), backslashes becoming folders, with the
entry's time as the file's modification time (and a file that a solid block records as
read-only without write permission). A damaged entry, or one whose name breaks the
installer's rule of names (absolute, climbing out of DIR, a Windows device name, a trailing dot or
space, a control character), is reported by name and nothing is written for it; the exit status
is then 1. Control characters in the names shown are escaped.
Of two entries equal without regard to case only the first is written, as the installer would
only ever read the first.
An update installer's kept files and patches are written only with --base OLD.exe, the setup
program it was built against (without it each is reported and the exit status is 1).

Options:
  -C, --directory DIR  the folder to unpack into (required)
  --base OLD.exe       the base of an update installer
  -h, --help           this text
)";

std::string HelpText(const std::string& command)
{
    if (command == "build")
        return Build;
    if (command == "init")
        return Init;
    if (command == "list")
        return List;
    if (command == "verify")
        return Verify;
    if (command == "extract")
        return Extract;
    return Overview;
}
