#!/usr/bin/env bash
# Writes the usage texts of the built program into docs/command-line.md,
# between its marker lines, so that the reference is what the option table
# prints and cannot drift from it. Text outside the markers is kept as it is.
#   make-cli-doc.sh BUILD_DIR [OUTPUT]    (OUTPUT: docs/command-line.md itself)
# A marker pair names the arguments the program is run with:
#   <!-- begin generated: kestrova ARGS... -->
#   <!-- end generated -->
set -euo pipefail
build="${1:?usage: make-cli-doc.sh BUILD_DIR [OUTPUT]}"
root="$(cd "$(dirname "$0")/.." && pwd)"
doc="$root/docs/command-line.md"
out="${2:-$doc}"
program="$build/kestrova"
[ -x "$program" ] || { echo "make-cli-doc.sh: $program is not built" >&2; exit 2; }

result=$(mktemp)
trap 'rm -f "$result"' EXIT
inside=0
while IFS= read -r line || [ -n "$line" ]; do
  if [[ $inside == 0 && $line =~ ^'<!-- begin generated: kestrova'(.*)' -->'$ ]]; then
    read -r -a args <<< "${BASH_REMATCH[1]}"
    {
      printf '%s\n\n```text\n' "$line"
      "$program" "${args[@]}"
      printf '```\n\n'
    } >> "$result"
    inside=1
  elif [[ $inside == 1 ]]; then
    if [[ $line == '<!-- end generated -->' ]]; then
      printf '%s\n' "$line" >> "$result"
      inside=0
    fi
  else
    printf '%s\n' "$line" >> "$result"
  fi
done < "$doc"
if [[ $inside == 1 ]]; then
  echo "make-cli-doc.sh: $doc: a begin marker without its end" >&2
  exit 1
fi
cp "$result" "$out"
