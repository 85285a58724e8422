#!/usr/bin/env bash
# docs/command-line.md holds the usage texts the program prints now: fails,
# showing the difference, when the option table changed and the page was not
# written again (tools/make-cli-doc.sh BUILD_DIR).
#   cli_doc.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src="${1:?}"
build="${2:?}"
fresh=$(mktemp)
trap 'rm -f "$fresh"' EXIT
bash "$src/tools/make-cli-doc.sh" "$build" "$fresh"
if ! diff -u "$src/docs/command-line.md" "$fresh"; then
  echo "docs/command-line.md is out of date: run tools/make-cli-doc.sh $build"
  exit 1
fi
