#!/usr/bin/env bash
# Compares the dynamic symbols of libtarvel.so with the public headers:
# every exported symbol must be declared in include/tarvel/, and the PDC_
# functions exported must be exactly those of pdc.h whose operation has
# landed (the ones listed as pending below are declared but not yet built).
set -euo pipefail
library=$1
headers=$2

# Declared in pdc.h, built by later work; remove a name here when it lands.
pending=(
)

status=0
exported=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TWDBRV]$/ {print $3}' | sed 's/@.*//' \
  | grep -vxE '_init|_fini|_edata|_end|__bss_start' | sort -u)

declared=$(cat "$headers"/*.h | grep -oE '\b[A-Za-z_][A-Za-z0-9_]*[[:space:]]*\(' | tr -d '( \t' | sort -u)
for symbol in $exported; do
  if ! grep -qx "$symbol" <<<"$declared"; then
    echo "exported but not declared in a public header: $symbol"
    status=1
  fi
done

declared_pdc=$(grep -oE '\bPDC_[A-Za-z0-9]+\(' "$headers/pdc.h" | tr -d '(' | sort -u)
count=$(wc -l <<<"$declared_pdc")
if [ "$count" -ne 28 ]; then
  echo "pdc.h declares $count PDC_ functions, not 28"
  status=1
fi
expected=$(comm -23 <(echo "$declared_pdc") <(printf '%s\n' "${pending[@]}" | sort -u))
actual=$(grep -E '^PDC_' <<<"$exported" || true)
if [ "$expected" != "$actual" ]; then
  echo "exported PDC_ functions differ from the landed ones:"
  diff <(echo "$expected") <(echo "$actual") || true
  status=1
fi
exit $status
