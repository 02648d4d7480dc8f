#!/usr/bin/env bash
# The installer's own code (start-up, settings, build, dialogs, archive, compression) never
# allocates: none of its objects refers to an allocation function.
set -euo pipefail
found=0
for lib in "$@"; do
  hits=$(nm -u -C "$lib" 2>/dev/null | grep -E '\b(malloc|calloc|realloc|strdup|operator new|operator delete)\b' || true)
  if [ -n "$hits" ]; then
    echo "$lib refers to:"; echo "$hits"; found=1
  fi
done
[ $found -eq 0 ] && echo "no allocation function referred to in: $*"
exit $found
