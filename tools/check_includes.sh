#!/usr/bin/env bash
# Checks who may include what: the framework includes only the platform's public declarations
# (platform/include/platform), never its private or test headers, and no framework folder
# includes one on a floor above its own; the game includes only the framework's public header,
# orbek/orbek.h, besides its own headers and the standard library's; that public header compiles
# on its own; and the platform's folders form a tree of floors (no circle of folders). Prints
# each breach and exits 1 when there is one.
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
framework_floors=("core" "image sound input" "softrender" "graphics" "movie" "draw" "text" "app")
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

# Folders that only look down: within a tree, no folder may include (through other folders) a
# folder that includes it back. Includes resolve as the compiler resolves them: a quoted name
# beside its file first, then the tree's include folders in order. Arguments: the tree, then
# its include folders.
folder_circles() {
  python3 - "$@" <<'PY' || breach "circle of folders in $1 (listed above)"
import os, re, sys

tree, include_dirs = sys.argv[1], sys.argv[2:]
include = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
edges = {}  # folder -> {included folder: first "file:line includes name"}
for top, _, names in os.walk(tree):
    for name in sorted(names):
        if not name.endswith(('.h', '.cpp')):
            continue
        path = os.path.join(top, name)
        with open(path, encoding='utf-8', errors='replace') as text:
            for number, line in enumerate(text, 1):
                found = include.match(line)
                if not found:
                    continue
                quoted, included = found.group(1) == '"', found.group(2)
                places = ([top] if quoted else []) + include_dirs
                for place in places:
                    target = os.path.normpath(os.path.join(place, included))
                    if os.path.isfile(target):
                        break
                else:
                    continue  # the standard library's or another library's
                if target.startswith(tree + os.sep) and os.path.dirname(target) != top:
                    edges.setdefault(top, {}).setdefault(
                        os.path.dirname(target), f'{path}:{number} includes {included}')

def reach(start):
    seen, todo = set(), [start]
    while todo:
        for folder in edges.get(todo.pop(), {}):
            if folder not in seen:
                seen.add(folder)
                todo.append(folder)
    return seen

reached = {folder: reach(folder) for folder in edges}
circles = {tuple(sorted(f for f in reached if f in reached[start] and start in reached[f]))
           for start in reached if start in reached[start]}
for circle in sorted(circles):
    print(f'include check: circle of folders: {" ".join(circle)}', file=sys.stderr)
    for folder in circle:
        for other, why in sorted(edges[folder].items()):
            if other in circle:
                print(f'  {folder} -> {other}: {why}', file=sys.stderr)
sys.exit(1 if circles else 0)
PY
}

# The platform's folders; the framework's come later.
folder_circles platform platform/include platform platform/testing/include

# The public header stands alone: a file that includes nothing else compiles.
echo '#include <orbek/orbek.h>' |
  "${CXX:-c++}" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -x c++ -I framework/include - ||
  breach "framework/include/orbek/orbek.h does not compile on its own"

if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "include check passed"
