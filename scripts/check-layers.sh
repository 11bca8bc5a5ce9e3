#!/usr/bin/env bash
# Draws the include graph between the product folders from the #include lines
# and fails when a file includes from a higher layer, from a sibling layer or
# from a folder outside the product (tests/, bench/, tools/). New files that
# are not yet committed count too.
# The layers, lowest first; graphics and audio share one level.
set -euo pipefail
# shellcheck source=scripts/start.sh
. "$(dirname "$0")/start.sh"
cd "$ROOT"

declare -A level=([runtime]=0 [host]=1 [graphics]=2 [audio]=2 [framework]=3 [music]=4 [game]=5)

declare -A edges=()
failures=0
while IFS= read -r match; do
  file=${match%%:*}
  target=$(sed -E 's/^[^:]*:[0-9]+:#include "([^"]+)".*/\1/' <<<"$match")
  from=${file%%/*}
  to=${target%%/*}
  [[ "$target" == */* ]] || continue
  [[ "$from" == "$to" ]] && continue
  edges["$from -> $to"]=1
  if [[ -z "${level[$to]+set}" ]] || ((level[$to] >= level[$from])); then
    echo "layer violation: ${match%:#include*} includes \"$target\"" >&2
    failures=$((failures + 1))
  fi
done < <(git ls-files -z --cached --others --exclude-standard -- runtime host graphics audio framework music game |
  xargs -0 -r grep -s -H -n -E '^#include "' --)

printf '%s\n' "${!edges[@]}" | sort
if ((failures > 0)); then
  echo "$failures include(s) reach up or across a layer" >&2
  exit 1
fi
