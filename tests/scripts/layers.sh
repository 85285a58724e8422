#!/usr/bin/env bash
# Each folder of src/ is one layer. A file may include headers of its own
# layer and of the layers below it, never of a layer above; the Qt-free layers
# include no Qt header at all. Prints every offending include and fails.
#   layers.sh SOURCE_DIR [BUILD_DIR]
set -euo pipefail
src="${1:-.}/src"

# Bottom to top; the first three are Qt-free.
layers=(core analysis intake platform sources playback views panel app)
qt_free=3

declare -A rank=() home=()
for i in "${!layers[@]}"; do
  rank[${layers[$i]}]=$i
done
for dir in "$src"/*/; do
  layer=$(basename "$dir")
  if [ -z "${rank[$layer]+x}" ]; then
    echo "src/$layer: a folder that is no layer (add it to the list in $0 and to CMakeLists.txt)"
    exit 1
  fi
  for f in "$dir"*.h; do
    [ -e "$f" ] && home[$(basename "$f")]=$layer
  done
done

faults=0
for dir in "$src"/*/; do
  layer=$(basename "$dir")
  own=${rank[$layer]}
  for f in "$dir"*.h "$dir"*.cpp; do
    [ -e "$f" ] || continue
    while IFS= read -r line; do
      num=${line%%:*}
      text=${line#*:}
      if [[ $text =~ \#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
        header=$(basename "${BASH_REMATCH[1]}")
        target=${home[$header]:-}
        if [ -n "$target" ] && [ "${rank[$target]}" -gt "$own" ]; then
          echo "src/$layer/$(basename "$f"):$num includes $header from src/$target, a layer above"
          faults=$((faults + 1))
        fi
      elif [ "$own" -lt "$qt_free" ] && [[ $text =~ \#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z]*) ]]; then
        echo "src/$layer/$(basename "$f"):$num includes <${BASH_REMATCH[1]}> in a Qt-free layer"
        faults=$((faults + 1))
      fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$f" || true)
  done
done

# kestrova, the program users run (src/app/Entry.cpp), builds without Qt: it
# and every file of its own layer it reaches through includes (a header's
# .cpp beside it too) include no Qt header and no header of a Qt layer.
entry_layer=app
queue=("$src/$entry_layer/Entry.cpp")
declare -A reached=()
while [ ${#queue[@]} -gt 0 ]; do
  f=${queue[0]}
  queue=("${queue[@]:1}")
  [ -e "$f" ] && [ -z "${reached[$f]+x}" ] || continue
  reached[$f]=1
  while IFS= read -r line; do
    num=${line%%:*}
    text=${line#*:}
    where="src/$entry_layer/$(basename "$f"):$num (reached from Entry.cpp)"
    if [[ $text =~ \#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z]*) ]]; then
      echo "$where includes <${BASH_REMATCH[1]}>, but kestrova builds without Qt"
      faults=$((faults + 1))
    elif [[ $text =~ \#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      header=$(basename "${BASH_REMATCH[1]}")
      target=${home[$header]:-}
      if [ "$target" = "$entry_layer" ]; then
        queue+=("$src/$entry_layer/$header" "$src/$entry_layer/${header%.h}.cpp")
      elif [ -n "$target" ] && [ "${rank[$target]}" -ge "$qt_free" ]; then
        echo "$where includes $header from src/$target, a Qt layer, but kestrova builds without Qt"
        faults=$((faults + 1))
      fi
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$f" || true)
done

if [ "$faults" -gt 0 ]; then
  echo "$faults include(s) against the layers: ${layers[*]} (bottom to top)"
  exit 1
fi
echo "layers hold: ${layers[*]}"
