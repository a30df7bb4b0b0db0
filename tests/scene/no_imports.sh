#!/bin/sh
# The scene compiled for intro-tiny may reference nothing outside itself except the slot tables
# the program defines: no libc, libm, libstdc++ or compiler runtime (memset, __stack_chk_fail, ...).
set -e
defined=$(nm --defined-only "$@" | awk 'NF == 3 { print $3 }' | sort -u)
missing=$(nm -u "$@" | awk 'NF == 2 { print $2 }' | sort -u | while read -r s; do
    case "$s" in gslots|sslots) continue ;; esac
    echo "$defined" | grep -qx "$s" || echo "$s"
done)
if [ -n "$missing" ]; then
    echo "external references: $missing"
    exit 1
fi
echo "no external references"
