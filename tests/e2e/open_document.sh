#!/usr/bin/env bash
# Follow-up 3: after the installation the document from the payload is opened, from a new folder
# of the Windows folder, with the program that the machine's classes associate with its
# extension (a recording program, through a REG_EXPAND_SZ open command under %SystemRoot%, which
# comes from the Windows folder, not from the environment the user sets in HKCU\Environment).
# The program is started from the system folder. Five seconds later the installer deletes the
# document and its folder; when the program still holds it open, their deletion is left to the
# next restart (MoveFileExA with a null new name), which `wineboot -r` carries out.
# Also reports the time from start to the progress dialog's first paint. The screen saver's name
# is not a plain 8.3 name, so system.ini is given the file's 8.3 path.
#
# On the 9x family Windows has no MoveFileExA (it fails), and the installer writes the removal
# into [Rename] of WinInit.Ini instead. Wine set to a 9x version still carries the call out, as
# on NT, so here both families end with the pending rename in the registry; the WinInit.Ini edit
# is tested in the host tests (followup_9x_test), with MoveFileExA failing as on Windows 9x.
#
# usage: open_document.sh [--windows=VERSION] <Windows build folder> <output folder> <sspack> [rename tool]
set -u
test_name=open_document
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"
helpers="$(dirname "$0")/helpers"

tools="$(windows_dir)/sstools"
mkdir -p "$tools" "$WINEPREFIX/drive_c/evil/sstools"
"$e2e_cc" -Os -s -mwindows -o "$tools/record.exe" "$helpers/record.c" ||
    fail "cannot build the recording program"
# The same program where the user's environment would lead: it must never be started.
cp "$tools/record.exe" "$WINEPREFIX/drive_c/evil/sstools/record.exe"
reg_add() { WINEDEBUG=-all "$wine" reg add "$@" /f >/dev/null 2>&1 || fail "reg add $1 failed"; }
reg_add 'HKLM\Software\Classes\.ssdoc' /ve /d SsTest.Document
reg_add 'HKLM\Software\Classes\SsTest.Document\shell\Open\Command' /ve /t REG_EXPAND_SZ \
    /d '"%SystemRoot%\sstools\record.exe" "%1"'
# Any program of the user may set these; an elevated installer sees them too.
reg_add 'HKCU\Environment' /v SystemRoot /d 'C:\evil'
reg_add 'HKCU\Environment' /v windir /d 'C:\evil'
reg_add 'HKCU\Software\Classes\SsTest.Document\shell\Open\Command' /ve \
    /d '"C:\evil\sstools\record.exe" "%1"'

mkdir -p "$work/pack"
printf 'Aurora notes, first line\r\nsecond line\r\n' >"$work/pack/notes.ssdoc"
e2e_build_installer Aurora-setup.exe <<EOF
[Installer]
Name=Aurora Borealis
FollowUp=open-document
ShowProgress=yes
[Texts]
Failure=Aurora could not be installed.
Progress=Installing Aurora...
$(e2e_files_section)
Document=notes.ssdoc
EOF

log="$tools/record.log"
evil_log="$WINEPREFIX/drive_c/evil/sstools/record.log"
for hold in 0 10; do
    rm -f "$log" "$evil_log"
    export SS_RECORD_HOLD=$hold
    e2e_trace_calls=1
    e2e_run "$work/pack/Aurora-setup.exe"
    started=$e2e_run_started
    # No question: the first window is the progress dialog. Its first paint is when its face
    # shows: the build starts from the message that this paint posts, before the controls
    # paint, so they may stay blank when the build moves little compressed data.
    e2e_wait_window Aurora-setup.exe 60 '^Aurora Borealis$'
    painted=
    for attempt in $(seq 100); do
        e2e_shot "$window" "$work/shot.png" 2>/dev/null &&
            [ "$(convert "$work/shot.png" -format '%[fx:mean>0.5]' info: 2>/dev/null)" = 1 ] &&
            painted=$(date +%s.%N) && break
        sleep 0.02
    done
    [ -n "$painted" ] || fail "the progress dialog was never painted"
    cp "$work/shot.png" "$out_dir/progress-first-paint-$hold.png"
    say "progress dialog painted $(seconds_between "$painted" "$started") s after the start"

    for _ in $(seq 300); do
        [ -s "$log" ] || [ -s "$evil_log" ] && break
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.05
    done
    [ ! -e "$evil_log" ] ||
        fail "the program the user's classes or environment name was started: $(head -n 1 "$evil_log")"
    [ -s "$log" ] || fail "the recording program was not started (see $out_dir/wine.log)"
    opened=$(date +%s.%N)
    e2e_wait_exit 60
    ended=$(date +%s.%N)
    [ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
    [ -z "$(e2e_box_texts)" ] || fail "a message box was shown: $(e2e_box_texts | paste -sd '|')"
    [ -f "$(windows_dir)/Aurora Borealis.scr" ] || fail "Aurora Borealis.scr was not installed"
    e2e_expect_activation "Aurora Borealis"
    waited=$(seconds_between "$ended" "$opened")
    say "the installer ended $waited s after the document was opened"
    awk -v w="$waited" 'BEGIN { exit !(w >= 4.5) }' || fail "the installer did not wait 5 s before removing"

    line=$(head -n 1 "$log" | tr -d '\r')
    cp "$log" "$out_dir/record-$hold.log"
    # "C:\windows\sstools\record.exe" "C:\windows\ss<8 letters>\notes.ssdoc"<TAB>first line
    document=$(sed -n 's/^"C:\\windows\\sstools\\record\.exe" "\(C:\\windows\\ss[a-p]\{8\}\\notes\.ssdoc\)"\t.*/\1/p' <<<"$line")
    [ -n "$document" ] || fail "unexpected command line: $line"
    folder=${document%\\*}
    unix_folder=$(e2e_unix_path "$folder")
    [ "${line##*$'\t'}" = "Aurora notes, first line" ] || fail "the document was not there: $line"
    [ "$(wc -l <"$log")" -eq 1 ] || fail "the program was started more than once"
    unix_document=$(e2e_unix_path "$document")
    [ -n "$unix_document" ] || fail "no Unix path for $document"
    if [ "$hold" = 0 ]; then
        [ ! -e "$unix_document" ] || fail "the document $document was not removed"
        [ ! -e "$unix_folder" ] || fail "the folder $folder was not removed"
        say "opened $document and removed it with its folder"
    else
        # Still open: deleting fails and the removal is arranged for the next restart.
        [ -e "$unix_document" ] || fail "the held document was removed after all"
        pending=$(WINEDEBUG=-all "$wine" reg query \
            'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
            2>/dev/null | tr -d '\r')
        grep -qiF 'notes.ssdoc' <<<"$pending" ||
            fail "no removal at restart was arranged: $pending"
        # A deletion is a null new name; "NUL" would be a rename onto the device.
        move=$(e2e_calls MoveFileExA | grep -F 'notes.ssdoc')
        grep -q ',00000000,00000004)' <<<"$move" || fail "MoveFileExA was not asked to delete it: $move"
        # The call succeeded, so WinInit.Ini, the fallback, stays untouched.
        [ ! -e "$(windows_dir)/wininit.ini" ] && [ ! -e "$(windows_dir)/WinInit.Ini" ] ||
            fail "WinInit.Ini was written although MoveFileExA succeeded"
        say "held document left for removal at the next restart"
        # A restart ends every program first: the recording program lets go of the document.
        timeout 60 wineserver -w
        timeout 120 "$wine" wineboot -r >"$out_dir/wineboot-r.log" 2>&1 || fail "wineboot -r failed"
        timeout 60 wineserver -w
        [ ! -e "$unix_document" ] || fail "the document $document is still there after the restart"
        [ ! -e "$unix_folder" ] || fail "the folder $folder is still there after the restart"
        say "the restart removed the document and its folder"
    fi
done
say "PASS: the document opened with its associated program, then removed or scheduled"
