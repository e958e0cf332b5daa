#!/usr/bin/env bash
# Builds the release zip from the built DLL, unpacks it, checks its files and loads the
# DLL from the unpacked folder under Wine. Writes a JUnit report.
set -uo pipefail
root="$1" dll="$2" loader="$3" report="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=()
PELORIN_PACKAGE_DLL="$dll" PELORIN_DIST_DIR="$work/dist" bash "$root/scripts/package.sh" >/dev/null ||
  failures+=("package.sh failed")
mkdir -p "$work/unpacked"
python3 -c "import zipfile,sys; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])" \
  "$work/dist/pelorin-wlx64.zip" "$work/unpacked" || failures+=("zip cannot be unpacked")
for f in PELORINPLUGIN.wlx64 pelorin.ini.sample pluginst.inf readme.txt; do
  [ -s "$work/unpacked/$f" ] || failures+=("$f missing from the package")
done
# An update must not overwrite the user's settings.
[ -e "$work/unpacked/pelorin.ini" ] && failures+=("the package carries pelorin.ini")
inf="$(tr -d '\r' <"$work/unpacked/pluginst.inf" 2>/dev/null)"
for line in '[plugininstall]' 'type=wlx' 'file=PELORINPLUGIN.wlx64' 'defaultdir=pelorin'; do
  grep -qxF "$line" <<<"$inf" || failures+=("pluginst.inf lacks $line")
done
grep -q '^description=.' <<<"$inf" || failures+=("pluginst.inf lacks a description")
if ! out="$(wine "$loader" "Z:${work//\//\\}\\unpacked\\PELORINPLUGIN.wlx64" 2>&1)"; then
  failures+=("the packaged DLL does not load: $(tail -3 <<<"$out" | tr -d '\r')")
fi
[ -s "$work/unpacked/pelorindebug.log" ] || failures+=("the packaged DLL wrote no log beside itself")
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo "<testsuites><testsuite name=\"Package\" tests=\"1\" failures=\"${#failures[@]}\">"
  echo '<testcase name="ZipUnpacksAndItsDllLoads" classname="Package">'
  for f in "${failures[@]}"; do echo "<failure message=\"${f//\"/&quot;}\"/>"; done
  echo '</testcase></testsuite></testsuites>'
} >"$report"
if ((${#failures[@]})); then printf 'FAIL: %s\n' "${failures[@]}"; exit 1; fi
echo "package ok: $(python3 -c "import zipfile,sys; print(', '.join(zipfile.ZipFile(sys.argv[1]).namelist()))" "$work/dist/pelorin-wlx64.zip")"
