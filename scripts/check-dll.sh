#!/usr/bin/env bash
# Checks the i686 product DLL: PE format pei-i386, export table named InjectedDLL.dll, exactly
# the nine exports with undecorated names, and imports from system DLLs only.
set -u
dll=${1:-build/win32/bin/VelKorvexHooks.dll}
dump=$(i686-w64-mingw32-objdump -p "$dll") || { echo "check-dll: cannot read $dll"; exit 1; }
fail=0
expected="CheckFocus EndOfFrameHook GetRawInputState InputActiveStateTransitionHook PipeResetHook TrackedCursorPos getmsgHook keyboardHook mouseHook"

grep -q "file format pei-i386" <<<"$dump" || { echo "check-dll: not pei-i386"; fail=1; }
grep -q "^Name .*InjectedDLL.dll" <<<"$dump" || { echo "check-dll: export table is not named InjectedDLL.dll"; fail=1; }
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^[ \t]*$/{t=0}' <<<"$dump" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exports" != "$expected" ]; then
  echo "check-dll: exports are [$exports], expected [$expected]"; fail=1
fi
grep -q '@' <<<"$exports" && { echo "check-dll: decorated export names"; fail=1; }
imports=$(grep "DLL Name:" <<<"$dump" | awk '{print toupper($3)}' | sort -u)
for i in $imports; do
  case "$i" in
    KERNEL32.DLL|USER32.DLL|ADVAPI32.DLL|MSVCRT.DLL) ;;
    *) echo "check-dll: imports non-system DLL $i"; fail=1 ;;
  esac
done
if [ $fail -eq 0 ]; then
  echo "check-dll: $dll is pei-i386, named InjectedDLL.dll, exports [$exports], imports [$(echo $imports)]"
fi
exit $fail
