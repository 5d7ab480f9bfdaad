# Helpers of the end-to-end scenarios: a Wine prefix of their own, packing an application with
# lumivo-pack, running setup programs under Wine in the background; watching their windows and
# pressing keys comes from tools/wine-desktop.sh.
#
# Expects: root (the project), pack (lumivo-pack), winbuild (the Windows build tree), work (a
# scratch folder of the scenario); optionally pack_options, more options of lumivo-pack build.

export LUMIVO_WINEPREFIX="$root/build/wineprefix-e2e"
export WINEPREFIX="$LUMIVO_WINEPREFIX"
export LUMIVO_WINE_DESKTOP=LumivoE2E
export WINEDEBUG=-all
bin="$root/build/bin"

# Ends the prefix's wine server and waits until it is gone, so that the next program starts one of
# its own: with a display or without one, as that program is started. A server started without a
# display has no desktop, and every window of a later scenario would fail on it.
new_server() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
}

fail() {
    echo "FAILED: $*" >&2
    windows >&2 || true
    if [ -n "${setup_pid:-}" ]; then
        if kill -0 "$setup_pid" 2>/dev/null; then echo "the setup program is still running" >&2
        else echo "the setup program has ended" >&2; fi
        [ ! -s "$work/setup.log" ] || { echo "what it printed:" >&2; tail -n 20 "$work/setup.log" >&2; }
    fi
    new_server # nothing of a failed scenario may linger
    exit 1
}

# The Windows path of a file under the prefix's C: drive, and back.
drive_c() { echo "$WINEPREFIX/drive_c/$1"; }

. "$root/tools/wine-desktop.sh"

# A fresh application folder: the sample program with the given install.script text.
make_app() {
    rm -rf "$work/app"
    mkdir -p "$work/app/docs"
    cp "$bin/hello.exe" "$work/app/hello.exe"
    printf 'Read me.\r\n' >"$work/app/docs/readme.txt"
    printf 'The licence of the end-to-end test.\nSecond line.\n' >"$work/app/licence.txt"
    printf '%s\n' "$1" >"$work/app/install.script"
}

# Packs the application folder into $work/setup.exe.
pack_app() {
    "$pack" build "$work/app" -o "$work/setup.exe" -q ${pack_options[@]+"${pack_options[@]}"} ||
        fail "lumivo-pack build failed"
}

# Flips one bit in the middle of an entry's stored bytes in a setup program, wherever the archive
# lies: its record is found by its name (length, then the name in UTF-16), behind the 28-byte header.
damage_entry() {
    local offset byte
    offset=$(python3 -c '
import struct, sys
data = open(sys.argv[1], "rb").read()
name = data.find(struct.pack("<I", len(sys.argv[2])) + sys.argv[2].encode("utf-16-le"))
record = name - 24
packed = struct.unpack_from("<I", data, record + 4)[0]
print(record + 28 + 2 * len(sys.argv[2]) + packed // 2 if name >= 24 else "")' "$1" "$2")
    [ -n "$offset" ] || fail "$2 is not in the archive"
    byte=$(od -An -tu1 -j "$offset" -N1 "$1" | tr -d ' ')
    printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of="$1" bs=1 seek="$offset" conv=notrunc status=none
}

# Starts a setup program under Wine in the background; its pid in setup_pid.
start_setup() {
    "$root/tools/wine-run" "$@" >"$work/setup.log" 2>&1 &
    setup_pid=$!
}

# Waits for the setup program to end; its exit code in setup_status.
finish_setup() {
    local waited=0
    while kill -0 "$setup_pid" 2>/dev/null; do
        sleep 0.5
        waited=$((waited + 1))
        [ "$waited" -lt 120 ] || fail "the setup program did not end"
    done
    setup_status=0
    wait "$setup_pid" || setup_status=$?
}

# reg.exe under Wine, for questions only: now and then, on a busy machine, Wine's start.exe fails
# to launch it at all ("ShellExecuteEx failed"); such a launch ran nothing and is made again.
# Every other outcome, "not found" included, is reg's own answer (its exit code is passed on).
reg_query() {
    local out status try
    for try in 1 2 3; do
        status=0
        out=$("$root/tools/wine-run" reg query "$@" 2>&1) || status=$?
        case "$out" in *"ShellExecuteEx failed"*) continue ;; esac
        printf '%s\n' "$out" | tr -d '\r'
        return $status
    done
    fail "Wine could not start reg.exe: $out"
}

# The data of a value of a program's uninstall key, or nothing.
reg_value() {
    "$root/tools/wine-run" reg query "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$2" /v "$3" 2>/dev/null |
        tr -d '\r' | sed -n "s/^ *$3 *REG_SZ *//p"
}

key_exists() {
    "$root/tools/wine-run" reg query "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$2" >/dev/null 2>&1
}

# Installs the program of the scenario ($script, $name) with the Install button.
install_program() {
    make_app "$script"
    pack_app
    start_setup "$work/setup.exe"
    wait_window "Lumivo Main Form" "$name" >/dev/null
    press Return
    wait_window "Lumivo Dialog" "Installation completed successfully." >/dev/null
    press Return
    finish_setup
    [ "$setup_status" = 0 ] || fail "the installation ended with $setup_status"
}

# Runs the registered uninstaller of the scenario's program with the given options; its exit code
# in uninstall_status.
run_uninstaller() {
    uninstall_status=0
    "$root/tools/wine-run" "C:\\Program Files\\$name\\_de_install.exe" "C:\\Program Files\\$name\\$name.de" \
        "$@" >"$work/uninstall.log" 2>&1 || uninstall_status=$?
}

# A Windows restart: pending removals are carried out (wineboot does them before it returns).
restart_windows() {
    wineboot -r </dev/null >/dev/null 2>&1 || true
}

# What an installation may change: the files outside C:\windows, the lists of installed programs,
# pending removals.
prefix_state() {
    (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -print | sort)
    local key
    for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
               'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'; do
        reg_query "$key" /s || true
    done
    reg_query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations || true
}

# A folder of the prefix for the setup programs and command files of the silent scenarios.
scratch_windows='C:\lumivo-e2e'
scratch_unix=$(drive_c lumivo-e2e)

# Runs a Windows command line exactly as written (cmd adds no quotes, unlike wine from a Unix
# shell) from a command file named $1 in the scratch folder, with cmd /c and without a display
# (with it when with_display is set); the program's exit code in cmd_status (all of it: a Unix exit
# status keeps only 8 bits).
run_command() {
    local name=$1 line=$2 output display=(-u DISPLAY)
    [ -z "${with_display:-}" ] || display=()
    mkdir -p "$scratch_unix"
    printf '@%s\r\n@echo exit code %%ERRORLEVEL%%\r\n' "$line" >"$scratch_unix/$name.cmd"
    output=$(env ${display[@]+"${display[@]}"} "$root/tools/wine-run" cmd /c "$scratch_windows\\$name.cmd" 2>&1) || true
    cmd_status=$(printf '%s\n' "$output" | tr -d '\r' | sed -n 's/^exit code //p' | tail -n 1)
    [ -n "$cmd_status" ] || fail "no exit code from $line: $output"
}

# Holds a file (its Windows path, then its path here) open without sharing until release_file.
hold_file() {
    "$root/tools/wine-run" "$winbuild/tests/file-holder.exe" "$1" 120 >/dev/null 2>&1 &
    holder_pid=$!
    held_file=$2
    local waited
    for waited in $(seq 100); do
        [ -f "$held_file.held" ] && return 0
        sleep 0.1
    done
    fail "the file holder did not take $1"
}

release_file() {
    touch "$held_file.release"
    wait "$holder_pid" 2>/dev/null || true
    [ ! -e "$held_file.held" ] || fail "the file holder did not let go of $held_file"
}

# Removes what an installation of the program may have left in the prefix.
forget_program() {
    local name=$1
    rm -rf "$(drive_c "Program Files/$name")"
    rm -f "$(drive_c "ProgramData/Microsoft/Windows/Start Menu/$name.lnk")"
    rm -f "$(drive_c "users/Public/Desktop/$name.lnk")"
    "$root/tools/wine-run" reg delete "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$name" /f \
        >/dev/null 2>&1 || true
}

"$root/tools/wine-prefix"
mkdir -p "$work"
