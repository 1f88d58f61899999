#!/usr/bin/env bash
# The module exports its line readers, and reaches none of the calls that would disturb the host's
# process: no alarm or pause (signals), no system or popen (a shell), no fork (a threaded host).
set -euo pipefail
lib=$1
defined=$(nm -D --defined-only -C "$lib")
status=0
for name in 'STRG_nGetChar<wchar_t, unsigned short>' 'STRG_nGetChar<wchar_t, wchar_t>' \
            'STRG_nGetChar<char, char>' 'STRG_nGetLine<wchar_t>' 'STRG_nGetLine<char>'; do
  if ! grep -qF " $name(" <<<"$defined" && ! grep -qF "int $name(" <<<"$defined"; then
    echo "not exported: $name"; status=1
  fi
done
undefined=$(nm -D --undefined-only "$lib" | awk '{print $NF}' | sed 's/@.*//')
for name in alarm pause system popen fork; do
  if grep -qx "$name" <<<"$undefined"; then echo "reaches $name"; status=1; fi
done
[ $status -eq 0 ] && echo "line readers exported; no alarm, pause, system, popen or fork"
exit $status
