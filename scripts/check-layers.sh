#!/usr/bin/env bash
# Checks that every layer includes only itself and the layers below it:
#   imaging < registration < shared < single, quad < overlay < program
# A file in a layer may include "<own layer>/..." or a file beside it, and
# "<lower layer>/..."; anything else in quotes is a fault, printed here.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A below=(
  [imaging]=""
  [registration]="imaging"
  [shared]="imaging registration"
  [single]="imaging registration shared"
  [quad]="imaging registration shared"
  [overlay]="imaging registration shared"
  [program]="imaging registration shared single quad overlay"
)

faults=0
for layer in "${!below[@]}"; do
  [ -d "$layer" ] || continue
  allowed=" $layer ${below[$layer]} "
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$line")
    case "$target" in
      */*) top=${target%%/*} ;;
      *) continue ;;  # a header beside the file
    esac
    if [[ "$allowed" != *" $top "* ]]; then
      echo "$file includes \"$target\": $layer may include only from:$allowed" >&2
      faults=$((faults + 1))
    fi
  done < <(grep -rn --include='*.hpp' --include='*.cpp' '#include "' "$layer" || true)
done
[ "$faults" -eq 0 ] && echo "every layer includes only downward"
exit $((faults > 0))
