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

if [ "$faults" -gt 0 ]; then
  echo "$faults include(s) against the layers: ${layers[*]} (bottom to top)"
  exit 1
fi
echo "layers hold: ${layers[*]}"
