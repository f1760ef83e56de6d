#!/usr/bin/env bash
# The browser runtime defines every platform function it calls. A missing one shows only
# when a program that uses its command is linked for the browser, so the whole library
# is looked at here, whatever the tests' programs happen to use.
#   platform_complete.sh LLVM_NM LIBRARY
set -euo pipefail
nm=$1 lib=$2
symbols=$("$nm" -C "$lib" 2>/dev/null)
called=$(sed -n 's/^ *U \(plat::.*\)$/\1/p' <<<"$symbols" | sort -u)
defined=$(sed -n 's/^[0-9a-f]* [TtWwDdBbRrVv] \(plat::.*\)$/\1/p' <<<"$symbols" | sort -u)
if [ -z "$defined" ]; then
  echo "platform_complete: no platform functions found in $lib" >&2
  exit 1
fi
missing=$(comm -23 <(echo "$called") <(echo "$defined"))
if [ -n "$missing" ]; then
  echo "The browser runtime calls platform functions it does not define:" >&2
  echo "$missing" >&2
  exit 1
fi
echo "every platform function the browser runtime calls ($(wc -l <<<"$called")) is defined"
