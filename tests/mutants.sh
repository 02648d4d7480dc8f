#!/usr/bin/env bash
# Mutation check of the unit tests, run on demand (not part of scripts/test.sh):
#   tests/mutants.sh            every mutant
#   tests/mutants.sh M03 M11    only these
#
# Copies the working tree (tracked and new files, as they are now) into a scratch folder,
# builds the host unit tests there once, then applies one small fault at a time to the
# installer's code, rebuilds the test programs that guard that code, runs them, and puts the
# file back. A mutant is killed when one of its test programs fails (or crashes). At the end a
# table tells which mutants were killed and by which test.
#
# Each fault is an exact piece of source text and its replacement. When the text is no longer
# found exactly once (the code moved or changed), the mutant is reported as STALE instead of
# passing silently: update its text here. Exit status: 0 when every mutant was killed, 1 when
# one survived, went stale or did not compile, 2 when the unmutated tests do not pass.
#
# Speed: set CMAKE_C_COMPILER_LAUNCHER=ccache and CMAKE_CXX_COMPILER_LAUNCHER=ccache before
# running; the scratch build then reuses the objects of earlier runs.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ssinstaller-mutants.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
src="$scratch/src"
build="$src/build/host"
log="$scratch/log"
mkdir -p "$src"
# With ccache, paths below the scratch folder count as relative: later runs reuse the objects.
export CCACHE_BASEDIR="$scratch"

# id | file | test programs | what the fault is | exact text | replacement
# Texts are bash $'...' strings, so a fault may span lines (\n).
ids=() files=() tests=() faults=() olds=() news=()
mutant() {
    ids+=("$1") files+=("$2") tests+=("$3") faults+=("$4") olds+=("$5") news+=("$6")
}

mutant M01 archive/reader.cpp "unit_reader unit_archive" \
    "directory search stops one size short" \
    $'for (uint32_t i = 1; i <= available; ++i) {' \
    $'for (uint32_t i = 1; i < available; ++i) {'
mutant M02 archive/reader.cpp "unit_reader unit_archive" \
    "record index bound off by one" \
    $'if (index >= record_count) return nullptr;' \
    $'if (index > record_count) return nullptr;'
mutant M03 archive/reader.cpp "unit_reader unit_app" \
    "open stage 3 reported as 2" \
    $'        ArchiveOpenStage = 3;\n        found = FindDirectory(available);' \
    $'        ArchiveOpenStage = 2;\n        found = FindDirectory(available);'
mutant M04 app/startup.cpp "unit_app" \
    "start-up checks the wrong stage for a damaged installer" \
    $'    if (ArchiveOpenStage == 3) {\n        ReportOnce(kDamagedInstallerText);' \
    $'    if (ArchiveOpenStage == 2) {\n        ReportOnce(kDamagedInstallerText);'
mutant M05 archive/names.cpp "unit_reader unit_archive" \
    "a 16-character name field matches a longer (cut) name" \
    $'    return name[kNameSize] == \'\\0\';' \
    $'    return 1;'
mutant M06 archive/extract.cpp "unit_archive unit_app" \
    "a failed extraction does not set the latch" \
    $'            PlatClose(out);\n        }\n    }\n    if (!ok) LatchFailure();' \
    $'            PlatClose(out);\n        }\n    }'
mutant M07 compress/lzhuf.cpp "unit_compress" \
    "matches as long as the best, met on the heads, keep the farther" \
    $'                if (d < distance) distance = d;\n                at = on;' \
    $'                if (d > distance) distance = d;\n                at = on;'
mutant M07b compress/lzhuf.cpp "unit_compress" \
    "a match found past the string heads keeps the farther of equal ones" \
    $'            if (i > best || d < distance) {\n                best = i;\n                distance = d;\n                limit = longer = 1;' \
    $'            if (i > best || d > distance) {\n                best = i;\n                distance = d;\n                limit = longer = 1;'
mutant M07d compress/lzhuf.cpp "unit_compress" \
    "the null node keeps the second head of an earlier string" \
    $'    if (!kTrack) memcpy(SecondHead(kNilRef), &head2, sizeof head2);' \
    $''
mutant M07i compress/lzhuf.cpp "unit_compress" \
    "a longer match met on the heads sets the limit a byte short" \
    $'limit = uint64_t(2) << ((63 - HighZeros(x)) | 7);' \
    $'limit = uint64_t(2) << ((63 - HighZeros(x)) | 15);'
mutant M07c compress/lzhuf.cpp "unit_compress" \
    "the climb to the next swap (encoder and decoder) goes on past equal weights" \
    $'    "cmpw 2(%[weight],%[c],2), %w[w]\\n\\t"          \\\n    "jb 1b"' \
    $'    "cmpw 2(%[weight],%[c],2), %w[w]\\n\\t"          \\\n    "jbe 1b"'
mutant M07e compress/lzhuf.cpp "unit_compress" \
    "after a swap the update goes on from the swapped node's old place" \
    $'        c = RaiseToSwap(parent[SwapUp<kTop>(c, weight[c] + 1u)]);' \
    $'        c = RaiseToSwap(parent[(SwapUp<kTop>(c, weight[c] + 1u), c)]);'
mutant M07f compress/lzhuf.cpp "unit_compress" \
    "the encoder keeps the root's bit of a code" \
    $'    code <<= 1;\n    const uint32_t n = 63 - LowZeros(code);' \
    $'    const uint32_t n = 63 - LowZeros(code);'
mutant M07g compress/lzhuf.cpp "unit_compress" \
    "the match tree walk goes left wherever bytes 9 to 16 settle a step" \
    $'        "adcq $4, %[node]\\n\\t"\n        "jmp 5b' \
    $'        "addq $4, %[node]\\n\\t"\n        "jmp 5b'
mutant M07h compress/lzhuf.cpp "unit_compress" \
    "coded bytes stored together count one tick" \
    $'        StreamCountTicks(whole);' \
    $'        StreamCountTicks(1);'
mutant M08 compress/lzhuf.cpp "unit_compress" \
    "the decoding run refills too late for a deep code and its distance" \
    $'        if (held < kWideRefill) {' \
    $'        if (held < kWideRefill - 20) {'
mutant M09 archive/cipher.cpp "unit_reader" \
    "key absorbs the plain byte in 9 of its 10 bytes" \
    $'        for (int k = 0; k < 10; ++k)\n            Cipher.key[k] ^= plain;' \
    $'        for (int k = 0; k < 9; ++k)\n            Cipher.key[k] ^= plain;'
mutant M10 app/dialogs.cpp "unit_app" \
    "pumping stops at the fourth paint in a row" \
    $'constexpr int kPaintsInARow = 3;' \
    $'constexpr int kPaintsInARow = 4;'
mutant M11 app/dialogs.cpp "unit_app" \
    "controls not painted before the build holds the thread" \
    $'    PlatPaintNow(dialog);' \
    $'    (void)dialog;'
mutant M12 app/dialogs.cpp "unit_app" \
    "the 300 ms pause before the build skipped" \
    $'    PlatSleep(300);\n    BuildScreenSaver();' \
    $'    BuildScreenSaver();'
mutant M13 app/dialogs.cpp "unit_app" \
    "refocus examines 65 windows" \
    $'window && examined < kRefocusLimit;' \
    $'window && examined <= kRefocusLimit;'
mutant M14 app/dialogs.cpp "unit_app" \
    "progress position in units of 1000 bytes" \
    $'static_cast<uintptr_t>(BytesDone / 1024)' \
    $'static_cast<uintptr_t>(BytesDone / 1000)'
mutant M15 app/build.cpp "unit_app" \
    "SAVER copied without Unscramble" \
    $'CopyEntry("SAVER", Decompress | Unscramble);' \
    $'CopyEntry("SAVER", Decompress);'
mutant M16 app/followup.cpp "unit_app" \
    "a registry value cut to its buffer (no NUL) accepted" \
    $'    if (size == kRegistryTextSize && registry_text[size - 1] != \'\\0\') return nullptr;\n' \
    $''
mutant M17 app/build.cpp "unit_app" \
    "saver settings taken by title alone, whoever owns them" \
    $'SameTitle(title, InstallerTitle) && PlatGetParent(window) == display_properties)' \
    $'SameTitle(title, InstallerTitle) && display_properties)'
mutant M18 app/build.cpp "unit_app" \
    "pause after asking Display Properties to quit shortened" \
    $'constexpr uint32_t kAfterQuitMs = 300;' \
    $'constexpr uint32_t kAfterQuitMs = 30;'
mutant M19 app/followup.cpp "unit_app unit_hardening" \
    "WinInit.Ini cut while its view and mapping are still open" \
    $'            PlatUnmapViewOfFile(view);\n            result = 1;\n        }\n        if (mapping) PlatCloseMapping(mapping);\n    }\n    // The file ends where the content does (a mapping may have grown it); when the position\n    // cannot be set, ending it at the current one would cut the content off.\n    if (PlatSeek(file, final_length)) PlatSetEndOfFile(file);' \
    $'            result = 1;\n            if (PlatSeek(file, final_length)) PlatSetEndOfFile(file);\n            PlatUnmapViewOfFile(view);\n        }\n        if (mapping) PlatCloseMapping(mapping);\n    }'
mutant M20 app/text.cpp "unit_app" \
    "appended text left without its NUL" \
    $'    *at += length;\n    out[*at] = \'\\0\';' \
    $'    *at += length;'
mutant M21 app/report.cpp "unit_app" \
    "report-once flag never cleared" \
    $'    report_pending = 0;\n' \
    $''
mutant M22 app/report.cpp "unit_app" \
    "no pause before the progress dialog ends" \
    $'    PlatSleep(500);\n    PlatEndDialog(ProgressDialog, 1);' \
    $'    PlatEndDialog(ProgressDialog, 1);'
mutant M23 app/startup.cpp "unit_app" \
    "message loop entered without a window" \
    $'                          kWsCaption | kWsSysMenu | kWsMinimizeBox)) {\n        ReleaseOwnFile();\n        return 0;\n    }' \
    $'                          kWsCaption | kWsSysMenu | kWsMinimizeBox)) {\n        ReleaseOwnFile();\n    }'
mutant M24 app/main_flow.cpp "unit_app" \
    "title keeps one character of the extension" \
    $'length = length > kExtensionLength ? length - kExtensionLength : 0;' \
    $'length = length > kExtensionLength ? length - kExtensionLength + 1 : 0;'
mutant M25 app/build.cpp "unit_app" \
    "no retry of the file creation while Display Properties was open" \
    $'    if (StickyError.latched && display_properties) {' \
    $'    if (StickyError.latched && !display_properties) {'
mutant M26 app/activation.cpp "unit_app unit_hardening" \
    "a Windows path one byte too long accepted (cut path)" \
    $'    if (used + slash + name_length >= kPathSize) {' \
    $'    if (used + slash + name_length > kPathSize) {'
mutant M27 app/followup.cpp "unit_app" \
    "a bare program name started as it stands" \
    $'    if (IsFullPath(program))' \
    $'    if (IsFullPath(program) || program[0] != \'\\0\')'
mutant M28 archive/file_name.cpp "unit_archive unit_app unit_hardening" \
    "device names accepted as file names" \
    $'    if (IsDeviceName(name)) return kNameDevice;' \
    $'    if (IsDeviceName(name) && name[0] == \'\\0\') return kNameDevice;'
mutant M29 archive/cert_table.cpp "unit_reader" \
    "a certificate table that overlaps a section accepted" \
    $'        if (raw_size > start || raw_at > start - raw_size) return 0;' \
    $'        if (raw_size > start) return 0;'
mutant M30 archive/writer.cpp "unit_archive" \
    "the running offset wraps past 4 GiB" \
    $'    const int fits = count <= 0xFFFFFFFFu - RunningOffset;' \
    $'    const int fits = 1;'

# Replaces the one occurrence of OLD by NEW in FILE. 0 done, 2 not found exactly once.
apply() {
    perl -e '
        my ($file, $old, $new) = @ARGV;
        local $/;
        open(my $in, "<", $file) or exit 3;
        my $text = <$in>;
        close $in;
        my $count = () = $text =~ /\Q$old\E/g;
        exit 2 if $count != 1;
        $text =~ s/\Q$old\E/$new/;
        open(my $out, ">", $file) or exit 3;
        print $out $text;
        close $out;' "$1" "$2" "$3"
}

# The test programs' paths below the build folder.
program() {
    case "$1" in
        unit_*) echo "$build/tests/unit/${1#unit_}/$1" ;;
    esac
}

# Runs the programs; prints the first failing program and test, returns 1 when one failed.
run_tests() {
    local t p failed
    for t in $1; do
        p=$(program "$t")
        # The unmutated programs take seconds; a fault that makes one loop ends it here.
        timeout 120 "$p" --gtest_brief=1 >"$log" 2>&1
        local rc=$?
        if [ $rc -ne 0 ]; then
            if [ $rc -eq 124 ]; then
                echo "$t: did not end within 120 s"
                return 1
            fi
            failed=$(grep -m1 -E '^\[  FAILED  \] [A-Za-z]' "$log" | sed 's/^\[  FAILED  \] //; s/ (.*//')
            [ -n "$failed" ] || failed="crashed: $(grep -m1 -iE 'waits for ever|abort|fault|error' "$log" | cut -c1-60)"
            echo "$t: $failed"
            return 1
        fi
    done
    return 0
}

selected=("$@")
wanted() {
    [ ${#selected[@]} -eq 0 ] && return 0
    local s
    for s in "${selected[@]}"; do [ "$s" = "$1" ] && return 0; done
    return 1
}

echo "copying the working tree to $src"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf -) 2>/dev/null | tar -C "$src" -xf -

all_tests=$(printf '%s\n' "${tests[@]}" | tr ' ' '\n' | sort -u | tr '\n' ' ')
echo "configuring and building $all_tests"
(cd "$src" && cmake --preset host >"$log" 2>&1) || { cat "$log"; exit 2; }
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $all_tests >"$log" 2>&1 || { tail -30 "$log"; exit 2; }
echo "running the unmutated tests"
if ! baseline=$(run_tests "$all_tests"); then
    echo "the unit tests fail without any mutant ($baseline); fix them first"
    exit 2
fi

rows=()
status=0
for i in "${!ids[@]}"; do
    wanted "${ids[$i]}" || continue
    file="$src/${files[$i]}"
    cp "$file" "$scratch/original"
    apply "$file" "${olds[$i]}" "${news[$i]}"
    case $? in
        0) ;;
        2)
            rows+=("${ids[$i]}|${files[$i]}|${faults[$i]}|STALE|text not found exactly once")
            status=1
            continue
            ;;
        *)
            rows+=("${ids[$i]}|${files[$i]}|${faults[$i]}|ERROR|cannot edit the file")
            status=1
            continue
            ;;
    esac
    echo "${ids[$i]}: ${faults[$i]}"
    # shellcheck disable=SC2086
    if ! cmake --build "$build" -j2 --target ${tests[$i]} >"$log" 2>&1; then
        rows+=("${ids[$i]}|${files[$i]}|${faults[$i]}|NO BUILD|the mutant does not compile")
        status=1
    elif by=$(run_tests "${tests[$i]}"); then
        rows+=("${ids[$i]}|${files[$i]}|${faults[$i]}|SURVIVED|${tests[$i]} pass")
        status=1
    else
        rows+=("${ids[$i]}|${files[$i]}|${faults[$i]}|killed|$by")
    fi
    cp "$scratch/original" "$file"
done

echo
echo "| mutant | file | fault | result | killed by |"
echo "|---|---|---|---|---|"
for r in "${rows[@]}"; do
    IFS='|' read -r id f what result by <<<"$r"
    echo "| $id | $f | $what | $result | $by |"
done
killed=$(printf '%s\n' "${rows[@]}" | grep -c '|killed|')
echo
echo "$killed of ${#rows[@]} mutants killed"
exit $status
