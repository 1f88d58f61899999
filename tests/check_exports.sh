#!/usr/bin/env bash
# Compares the dynamic symbols a module defines with the names its version script exports:
# plain names for C entry points, quoted demangled names in the extern "C++" block.
set -euo pipefail
lib=$1 map=$2
body=$(sed -n '/global:/,/local:/p' "$map" | sed -e 's/extern "C++"//' -e 's/^[[:space:]]*\(global\|local\):.*//')
want=$( {
  echo "$body" | grep -oE '"[^"]+"' | tr -d '"' || true
  echo "$body" | grep -vE '"|extern|^[[:space:]]*}' | grep -oE '[A-Za-z_][A-Za-z0-9_]*' || true
} | sort -u | sed '/^$/d')
got=$(nm -D --defined-only -C "$lib" | cut -d' ' -f3- | sed 's/@.*//' | sort -u | sed '/^$/d')
if [ "$want" != "$got" ]; then
  echo "exports differ from $map (< listed only, > exported only)"
  diff <(echo "$want") <(echo "$got") || true
  exit 1
fi
echo "exports: $(echo "$got" | grep -c . || true) names, as listed"
