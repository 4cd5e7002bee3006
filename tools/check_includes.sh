#!/usr/bin/env bash
# Checks who may include what: the framework includes only the platform's public declarations
# (platform/include/platform), never its private or test headers, and no framework folder
# includes one on a floor above its own; the game includes only the framework's public header,
# orbek/orbek.h, besides its own headers and the standard library's; and that public header
# compiles on its own. Prints each breach and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

failed=0
breach() {
  echo "include check: $1" >&2
  failed=1
}

# Every "#include" of a file as "path:line:name".
includes_of() {
  grep -HnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"][^>"]+[>"]' "$@" |
    sed -E 's/#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"]$/\1/; s/:[[:space:]]*/:/2'
}

# The framework: platform headers only from the public folder, and nothing reached by climbing
# out of the framework.
mapfile -t framework_files < <(find framework -name '*.h' -o -name '*.cpp' | sort)
if [ "${#framework_files[@]}" -gt 0 ]; then
  while IFS=: read -r file line name; do
    case "$name" in
      platform/*)
        [ -f "platform/include/$name" ] ||
          breach "$file:$line includes $name, which is not a public platform header"
        ;;
      ../*|*/../*)
        resolved=$(realpath -m "$(dirname "$file")/$name")
        case "$resolved" in
          "$PWD"/framework/*) ;;
          *) breach "$file:$line reaches outside the framework with $name" ;;
        esac
        ;;
    esac
  done < <(includes_of "${framework_files[@]}")
fi

# The framework's floors, lowest first; folders on one floor may include each other, and a
# folder includes nothing from a floor above its own.
framework_floors=("core" "image sound input" "softrender" "graphics draw movie" "text" "app")
declare -A floor_of=()
for floor in "${!framework_floors[@]}"; do
  for folder in ${framework_floors[$floor]}; do floor_of[$folder]=$floor; done
done
for folder_path in framework/*/; do
  folder=$(basename "$folder_path")
  [ "$folder" = include ] && continue
  [ -n "${floor_of[$folder]:-}" ] || breach "framework/$folder/ has no place in the floors"
done
mapfile -t floored_files < <(find framework -mindepth 2 \( -name '*.h' -o -name '*.cpp' \) \
  -not -path 'framework/include/*' | sort)
if [ "${#floored_files[@]}" -gt 0 ]; then
  while IFS=: read -r file line name; do
    from=${file#framework/}
    from=${from%%/*}
    to=${name%%/*}
    [ "$to" != "$name" ] && [ -n "${floor_of[$to]:-}" ] && [ -n "${floor_of[$from]:-}" ] || continue
    [ "${floor_of[$to]}" -le "${floor_of[$from]}" ] ||
      breach "$file:$line includes $name; $from/ lies below $to/"
  done < <(includes_of "${floored_files[@]}")
fi

# The game: the public header, its own headers, and the standard library.
mapfile -t game_files < <(find game -name '*.h' -o -name '*.cpp' | sort)
if [ "${#game_files[@]}" -gt 0 ]; then
  while IFS=: read -r file line name; do
    [ "$name" = "orbek/orbek.h" ] && continue
    resolved=$(realpath -m "$(dirname "$file")/$name")
    case "$resolved" in
      "$PWD"/game/*) [ -f "$resolved" ] && continue ;;
    esac
    # Anything else of this repository: the framework's or the platform's headers.
    if [[ "$name" == *..* ]] || [ -e "framework/$name" ] || [ -e "framework/include/$name" ] ||
       [ -e "platform/include/$name" ] || [ -e "platform/$name" ] ||
       [ -e "platform/testing/include/$name" ]; then
      breach "$file:$line includes $name; the game includes only orbek/orbek.h"
    fi
  done < <(includes_of "${game_files[@]}")
fi

# The public header stands alone: a file that includes nothing else compiles.
echo '#include <orbek/orbek.h>' |
  "${CXX:-c++}" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -x c++ -I framework/include - ||
  breach "framework/include/orbek/orbek.h does not compile on its own"

if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "include check passed"
