#!/usr/bin/env bash
# Checks a Windows binary of either architecture:
#   check-dll.sh [--stripped] [DLL]      VelKorvexHooks.dll (default build/win32/bin/VelKorvexHooks.dll,
#                                        the product)
#   check-dll.sh --overlay [--stripped] DLL   VelKorvexOverlay.dll, the C interface
#   check-dll.sh --imports FILE          any DLL or program: the import check alone
#   - PE format pei-i386 or pei-x86-64;
#   - the hooks DLL: export table named InjectedDLL.dll, exactly the nine exports with
#     undecorated names; the C interface: named VelKorvexOverlay.dll, exactly the functions of
#     src/overlay/VelKorvexOverlay.def, undecorated;
#   - imports from system DLLs only;
#   - on i686, each export's calling convention read from its code: the three hook procedures
#     return with `ret $0xc` (they pop their 12 bytes of arguments), every other export with a
#     plain `ret` (its caller pops: cdecl);
#   - with --stripped, no debug sections (for the release package).
set -u
stripped=0 mode=hooks
while [ $# -gt 0 ]; do
  case "$1" in
    --stripped) stripped=1 ;;
    --overlay) mode=overlay ;;
    --imports) mode=imports ;;
    *) break ;;
  esac
  shift
done
dll=${1:-build/win32/bin/VelKorvexHooks.dll}
# The x86_64 binutils read PE files of both architectures.
objdump=x86_64-w64-mingw32-objdump
dump=$($objdump -p "$dll") || { echo "check-dll: cannot read $dll"; exit 1; }
fail=0
if [ $mode = overlay ]; then
  table=VelKorvexOverlay.dll hooks=""
  expected=$(awk '/^EXPORTS/{e=1;next} e&&NF{print $1}' "$(dirname "$0")/../src/overlay/VelKorvexOverlay.def" |
    LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
else
  table=InjectedDLL.dll hooks="getmsgHook keyboardHook mouseHook"
  expected="CheckFocus EndOfFrameHook GetRawInputState InputActiveStateTransitionHook PipeResetHook TrackedCursorPos getmsgHook keyboardHook mouseHook"
fi

format=$(sed -n 's/.*file format \(pei-[a-z0-9-]*\).*/\1/p' <<<"$dump" | head -1)
case "$format" in
  pei-i386|pei-x86-64) ;;
  *) echo "check-dll: format is '${format:-unknown}', not pei-i386 or pei-x86-64"; exit 1 ;;
esac
if [ $mode != imports ]; then
  grep -q "^Name .*[[:space:]]$table\$" <<<"$dump" || { echo "check-dll: export table is not named $table"; fail=1; }
  exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^[ \t]*$/{t=0}' <<<"$dump" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$exports" != "$expected" ]; then
    echo "check-dll: exports are [$exports], expected [$expected]"; fail=1
  fi
  grep -q '@' <<<"$exports" && { echo "check-dll: decorated export names"; fail=1; }
fi
imports=$(grep "DLL Name:" <<<"$dump" | awk '{print toupper($3)}' | sort -u)
for i in $imports; do
  case "$i" in
    KERNEL32.DLL|USER32.DLL|ADVAPI32.DLL|MSVCRT.DLL|VERSION.DLL) ;;
    *) echo "check-dll: imports non-system DLL $i"; fail=1 ;;
  esac
done

# The return instructions each export can reach: its code is followed from the entry along
# fall-through, direct jumps and conditional branches (so a tail call contributes the callee's
# returns, which are the ones its caller sees). Prints "NAME: INSTRUCTION" once per distinct
# return, or "NAME: none" when none is reachable.
returns() {
  local base rvas
  base=$(awk '$1 == "ImageBase" {print $2}' <<<"$dump")
  # "[ordinal] NAME" lines of the name table paired with the "[index] +base[ordinal] RVA" lines.
  rvas=$(awk '
    /^Export Address Table -- Ordinal Base/ {a=1; next}
    a && /^[ \t]*\[/ {gsub(/[][]/, " "); rva[$1] = $4; next}
    a && /^[ \t]*$/ {a=0}
    /\[Ordinal\/Name Pointer\] Table/ {n=1; next}
    n && /^[ \t]*\[/ {gsub(/[][]/, " "); print $NF, rva[$1]; next}
    n && /^[ \t]*$/ {n=0}' <<<"$dump")
  local entries="" name rva
  while read -r name rva; do
    [ -n "$name" ] && entries+="$name $(printf '%x' $((0x$base + 0x$rva))) "
  done <<<"$rvas"
  $objdump -d --no-show-raw-insn -j .text "$dll" | awk -v entries="$entries" '
    match($0, /^ *[0-9a-f]+:\t/) {
      addr = $1; sub(/:$/, "", addr); sub(/^ *[0-9a-f]+:\t/, "")
      at[addr] = count; code[count++] = $0
    }
    END {
      n = split(entries, e, " ")
      for (k = 1; k < n; k += 2) {
        name = e[k]; delete seen; delete rets; sp = 0; reached = 0
        if (e[k + 1] in at) stack[sp++] = at[e[k + 1]]
        while (sp > 0) {
          for (i = stack[--sp]; i < count && !(i in seen); i++) {
            seen[i] = 1; ins = code[i]
            if (ins ~ /(^|[ \t])ret[lqw]?([ \t]|$)/) {
              gsub(/[ \t]+/, " ", ins); sub(/ +$/, "", ins); sub(/^.* ret/, "ret", ins)
              if (!(ins in rets)) print name ": " ins
              rets[ins] = 1; reached = 1; break
            }
            if (ins ~ /^(jmp|ud2|hlt)/ && ins !~ /^jmp[lq]? +(0x)?[0-9a-f]+/) break
            # Branch targets read "6b943db0 <symbol+0x60>", or "0x6b943db0" when stripped.
            if (ins ~ /^j[a-z]+ +(0x)?[0-9a-f]+/) {
              split(ins, w, /[ \t]+/); sub(/^0x/, "", w[2])
              if (w[2] in at) stack[sp++] = at[w[2]]
              if (ins ~ /^jmp/) break
            }
          }
        }
        if (!reached) print name ": none"
      }
    }'
}

conventions=""
if [ "$format" = pei-i386 ] && [ $mode != imports ]; then
  while IFS= read -r line; do
    name=${line%%:*} ins=${line#*: }
    case " $hooks " in *" $name "*) want='ret $0xc' ;; *) want=ret ;; esac
    if [ "$ins" != "$want" ]; then
      echo "check-dll: $name returns with '$ins', expected '$want'"; fail=1
    fi
  done < <(returns)
  conventions=", ${hooks:+hook procedures return with ret \$0xc and }every $([ -n "$hooks" ] && echo "other ")export with ret"
fi

if [ $stripped -eq 1 ]; then
  debug=$($objdump -h "$dll" | awk '$2 ~ /^\.debug/ {print $2}' | tr '\n' ' ')
  [ -z "$debug" ] || { echo "check-dll: debug sections in a DLL that should be stripped: $debug"; fail=1; }
fi

if [ $fail -eq 0 ]; then
  echo "check-dll: $dll is $format,$([ $mode != imports ] && echo " named $table, exports [$exports]$conventions,") imports [$(echo $imports)]$([ $stripped -eq 1 ] && echo ", no debug sections")"
fi
exit $fail
