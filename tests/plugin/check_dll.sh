#!/usr/bin/env bash
# Checks the built DLL from the outside: a PE32+ x86-64 DLL that imports only system
# DLLs and exports exactly the names of its .def file, which must be the ten lister entry
# points. Writes a JUnit report.
set -uo pipefail
dll="$1" def="$2" report="$3"
failures=()
dump="$(x86_64-w64-mingw32-objdump -p "$dll" 2>&1)" || failures+=("objdump failed")
grep -q 'file format pei-x86-64' <<<"$dump" || failures+=("not a PE32+ x86-64 image")
grep -q 'Magic.*020b' <<<"$dump" || failures+=("not PE32+")
allowed='^(kernel32|user32|gdi32|opengl32|gdiplus|comdlg32|ole32|oleaut32|shell32|advapi32|msvcrt|ws2_32|bcrypt|ntdll|uxtheme|comctl32)\.dll$'
while read -r name; do
  [[ "${name,,}" =~ $allowed ]] || failures+=("imports non-system DLL $name")
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
expected="$(sed -n '/^EXPORTS/,$p' "$def" | tail -n +2 | tr -d ' \r' | grep -v '^$' | sort)"
required="$(printf '%s\n' ListLoad ListLoadW ListLoadNext ListLoadNextW ListCloseWindow ListGetDetectString ListSetDefaultParams \
  ListSendCommand ListGetPreviewBitmap ListGetPreviewBitmapW | sort)"
[ "$expected" = "$required" ] || failures+=("the .def file lists [$(echo $expected)], not the ten entry points")
actual="$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^$/{t=0}' <<<"$dump" | sort)"
[ -n "$actual" ] && [ "$expected" = "$actual" ] || failures+=("exports differ: expected [$(echo $expected)] got [$(echo $actual)]")
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo "<testsuites><testsuite name=\"DllImage\" tests=\"1\" failures=\"${#failures[@]}\">"
  echo '<testcase name="ImportsSystemDllsAndExportsTheEntryPoints" classname="DllImage">'
  for f in "${failures[@]}"; do echo "<failure message=\"${f//\"/&quot;}\"/>"; done
  echo '</testcase></testsuite></testsuites>'
} >"$report"
if ((${#failures[@]})); then printf 'FAIL: %s\n' "${failures[@]}"; exit 1; fi
echo "DLL image ok: $(wc -l <<<"$actual") exports, imports: $(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | tr '\n' ' ')"
