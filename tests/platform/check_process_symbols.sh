#!/usr/bin/env bash
# The module exports its line readers and reaches none of the calls that would disturb the host's
# process: alarm and pause (signals), system and popen (a shell), fork (a threaded host).
set -uo pipefail
defined=$(nm -D --defined-only -C "$1") undefined=$(nm -D --undefined-only "$1" | awk '{print $NF}' | sed 's/@.*//')
status=0
for name in 'STRG_nGetChar<wchar_t, unsigned short>(' 'STRG_nGetChar<wchar_t, wchar_t>(' \
            'STRG_nGetChar<char, char>(' 'STRG_nGetLine<wchar_t>(' 'STRG_nGetLine<char>('; do
  grep -qF "$name" <<<"$defined" || { echo "not exported: $name"; status=1; }
done
for name in alarm pause system popen fork; do
  ! grep -qx "$name" <<<"$undefined" || { echo "reaches $name"; status=1; }
done
exit $status
