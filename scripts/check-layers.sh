#!/usr/bin/env bash
# Draws the include graph between the product folders from the #include lines
# and fails when a file includes from a higher layer, from a sibling layer or
# from a folder outside the product (tests/, bench/, tools/). It also fails
# when the system interfaces leave their folders: only host/ includes GLFW or
# Emscripten headers, only graphics/ includes or calls OpenGL, only audio/
# includes or calls OpenAL. New files that are not yet committed count too.
# The layers, lowest first; graphics and audio share one level.
set -euo pipefail
# shellcheck source=scripts/start.sh
. "$(dirname "$0")/start.sh"
cd "$ROOT"

declare -A level=([runtime]=0 [host]=1 [graphics]=2 [audio]=2 [framework]=3 [music]=4 [game]=5)

# The product's files in the given folders, committed or not.
product_files() {
  git ls-files -z --cached --others --exclude-standard -- "$@"
}

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
done < <(product_files runtime host graphics audio framework music game | xargs -0 -r grep -s -H -n -E '^#include "' --)

# Each system interface and the one folder allowed to use it: its headers,
# and (outside comments) calls of its functions.
check_confined() {
  local folder=$1 what=$2 pattern=$3 match
  local others=()
  for dir in runtime host graphics audio framework music game; do
    [[ "$dir" == "$folder" ]] || others+=("$dir")
  done
  while IFS= read -r match; do
    echo "layer violation: $what outside $folder/: $match" >&2
    failures=$((failures + 1))
  done < <(product_files "${others[@]}" | xargs -0 -r grep -s -H -n -P "$pattern" --)
}
check_confined host "GLFW or Emscripten" '^#include <(GLFW/|emscripten[./])'
check_confined graphics "OpenGL" '^#include <GL/|^(?!\s*//).*\bgl[A-Z]\w*\s*\('
check_confined audio "OpenAL" '^#include <AL/|^(?!\s*//).*\balc?[A-Z]\w*\s*\('

printf '%s\n' "${!edges[@]}" | sort
if ((failures > 0)); then
  echo "$failures include(s) or call(s) reach up or across a layer" >&2
  exit 1
fi
