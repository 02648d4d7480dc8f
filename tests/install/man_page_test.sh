#!/usr/bin/env bash
# The man page agrees with `sspack --help`: every command of the help is in the man page's
# synopsis and the other way round, and every option the help lists is described in it.
#
# usage: man_page_test.sh <sspack> <man page>
set -u
test_name=man_page
sspack=${1:?usage: man_page_test.sh <sspack> <man page>}
page=${2:?usage: man_page_test.sh <sspack> <man page>}
source "$(dirname "$0")/lib.sh"

"$sspack" --help >"$work/help" 2>/dev/null || { echo "sspack has no --help"; exit 77; }
# The page's text with roff's escaped hyphens as plain ones.
sed 's/\\-/-/g' "$page" >"$work/page"
# Commands: "  sspack NAME ..." in the help, ".B sspack NAME" in the synopsis.
sed -n 's/^  sspack \([a-z]*\).*/\1/p' "$work/help" | sort -u >"$work/help-commands"
sed -n 's/^\.B sspack \([a-z]*\)$/\1/p; s/^\.B sspack \([a-z]*\) .*/\1/p' "$work/page" | sort -u \
    >"$work/page-commands"
diff "$work/help-commands" "$work/page-commands" >"$work/diff" ||
    fail "commands differ (< help, > man page): $(tr '\n' ' ' <"$work/diff")"
# Options: lines indented by eight spaces, "OPTION[, ALIAS] [ARGUMENT]  meaning".
missing=
while IFS= read -r option; do
    for word in $(sed 's/  .*//; s/,/ /g' <<<"$option"); do
        case "$word" in
        -*) grep -q -- "$word" "$work/page" || missing="$missing $word" ;;
        esac
    done
done < <(grep '^        [^ ]' "$work/help" | sed 's/^        //')
[ -z "$missing" ] || fail "options of --help missing from the man page:$missing"
say "passed: $(wc -l <"$work/help-commands") commands"
