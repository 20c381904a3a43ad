#!/usr/bin/env bash
# Builds everything, packs a sample program into a launcher and runs it,
# natively and under Wine (win64 stub), printing what the program saw, its
# exit code, and whether a temporary folder was left behind.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build-all.sh native win64 win32

work=$(mktemp -d /tmp/sfx-demo-XXXXXX)
trap 'rm -rf "$work"' EXIT
sfxpack=build/native/tools/sfxpack/sfxpack

make_sample() {  # $1: folder, $2: the report program to include
  mkdir -p "$1/data/more"
  cp "$2" "$1/"
  echo "Hello from the payload" > "$1/data/hello.txt"
  head -c 200000 /dev/urandom > "$1/data/more/random.bin"
}

echo
echo "== native launcher"
make_sample "$work/native-app" build/native/tests/programs/report
"$sfxpack" --stub build/native/launcher/launcher --run report --title "Demo" -o "$work/demo" "$work/native-app"
"$sfxpack" list "$work/demo" || true
count_temp() { find "$1" -maxdepth 1 -name 'qx_ext_temp_*' 2>/dev/null | wc -l; }
before=$(count_temp /tmp)
set +e
SFX_EXIT_CODE=3 "$work/demo" "an argument" /S
code=$?
set -e
echo "native launcher exit code: $code"
after=$(count_temp /tmp)
[ "$before" = "$after" ] && echo "no temporary folder left behind" || echo "a temporary folder was left behind!"

echo
echo "== win64 launcher under Wine"
make_sample "$work/win-app" build/win64/tests/programs/report.exe
"$sfxpack" --stub build/win64/launcher/launcher.exe --run report.exe --title "Demo" --silent -o "$work/demo.exe" "$work/win-app"
export WINEPREFIX="$PWD/build/native/wine/prefix-win64" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$WINEPREFIX")"
[ -f "$WINEPREFIX/system.reg" ] || wine wineboot -i >/dev/null 2>&1
wineserver -k 2>/dev/null || true   # a server left over from an interrupted demo
wineserver -p
trap 'wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
temp="$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')"
temp_unix="$(winepath -u "$temp" 2>/dev/null)"
printf '@"%s" "an argument"\r\n@echo exit code: %%errorlevel%%\r\n' "$(winepath -w "$work/demo.exe")" > "$work/run.bat"
# cmd passes the launcher's exit code on; it is printed, not a failure of the demo.
SFX_REPORT="$(winepath -w "$work/report.txt")" SFX_EXIT_CODE=3 wine cmd /c "$(winepath -w "$work/run.bat")" | tr -d '\r' || true
echo "what the program saw:"
tr -d '\r' < "$work/report.txt" 2>/dev/null || echo "(no report: the program did not run)"
[ "$(count_temp "$temp_unix")" = 0 ] && echo "no temporary folder left behind" || echo "a temporary folder was left behind!"
