#!/usr/bin/env bash
# A tree of 100,000 empty picture files in 1,000 folders of 100, two levels deep:
#   bench/make-tree.sh OUT
set -euo pipefail
out=${1:?usage: make-tree.sh OUT}
for a in $(seq 0 9); do
  for b in $(seq 0 99); do
    d="$out/a$a/b$b"
    mkdir -p "$d"
    (cd "$d" && touch $(seq -f "p%03g.jpg" 0 99))
  done
done
