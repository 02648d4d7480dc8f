#!/usr/bin/env bash
# Checks a built installer stub: its size against a limit, and the loader flags every stub must
# carry (DEP and ASLR on both builds, high-entropy ASLR on x86_64, no structured exception
# handlers on i686, whose code registers none).
# Usage: stub_image.sh STUB LIMIT_BYTES [ALLOWED_DLLS]
# With ALLOWED_DLLS (names separated by blanks, any case), every DLL the image imports must be
# one of them: the screen saver, which may run elevated, imports only KnownDLLs.
set -euo pipefail
stub=$1
limit=$2
allowed=${3:-}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
fail=0

size=$(stat -c %s "$stub")
echo "$stub: $size bytes (limit $limit)"
if [ "$size" -gt "$limit" ]; then
  echo "FAIL: $stub is $size bytes, over its limit of $limit" >&2
  fail=1
fi

header=$("$objdump" -p "$stub")
flags=(NX_COMPAT DYNAMIC_BASE)
case "$(sed -n 's/^Magic[[:space:]]*//p' <<<"$header")" in
  020b*) flags+=(HIGH_ENTROPY_VA) ;;  # PE32+: x86_64
  010b*) flags+=(NO_SEH) ;;           # PE32: i686
  *) echo "FAIL: $stub is not a PE image" >&2; exit 1 ;;
esac
# The names objdump prints under DllCharacteristics.
characteristics=$(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$header")
for flag in "${flags[@]}"; do
  if ! grep -qw "$flag" <<<"$characteristics"; then
    echo "FAIL: $stub lacks $flag in its DllCharacteristics" >&2
    fail=1
  fi
done
if [ -n "$allowed" ]; then
  for dll in $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$header"); do
    if ! grep -qiw -- "${dll%.[dD][lL][lL]}" <<<"${allowed//.dll/}"; then
      echo "FAIL: $stub imports $dll, which is not among: $allowed" >&2
      fail=1
    fi
  done
fi
[ "$fail" -eq 0 ] && echo "ok: ${flags[*]}"
exit "$fail"
