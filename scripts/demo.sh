#!/usr/bin/env bash
# Builds everything, installs sfxpack with its stubs into a temporary prefix,
# packs a sample program into a launcher with that sfxpack and runs it,
# natively and under Wine (win64 and win32 stubs), printing what the program
# saw, its exit code, and whether a temporary folder was left behind.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build-all.sh native win64 win32

work=$(mktemp -d /tmp/sfx-demo-XXXXXX)
trap 'rm -rf "$work"' EXIT
# sfxpack in $work/prefix/bin, the stubs of all three builds under
# $work/prefix/share/sfxlauncher, where sfxpack finds them without --stub.
cmake --install build/native --prefix "$work/prefix" >/dev/null
sfxpack="$work/prefix/bin/sfxpack"

make_sample() {  # $1: folder, $2: the report program to include
  mkdir -p "$1/data/more"
  cp "$2" "$1/"
  echo "Hello from the payload" > "$1/data/hello.txt"
  head -c 200000 /dev/urandom > "$1/data/more/random.bin"
}

echo
echo "== native launcher"
make_sample "$work/native-app" build/native/tests/programs/report
"$sfxpack" --arch native --run report --title "Demo" -o "$work/demo" "$work/native-app"
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

# Under Wine: the win64 launcher with Wine's 64-bit loader, the win32 one with
# wine32 (through qemu-i386 where the kernel cannot run 32-bit code), as
# tests/e2e/wine32/route.py decides. Each uses the tests' prefix, under its lock.
wine_demo() {  # $1: win64 or win32
  local arch=$1 settings
  echo
  echo "== $arch launcher under Wine"
  if ! settings=$(SFX_BUILD_NATIVE="$PWD/build/native" python3 tests/e2e/wine32/route.py env "$arch"); then
    echo "the $arch launcher cannot run here (see above)"
    return 0
  fi
  (
    while IFS='=' read -r name value; do export "$name=$value"; done <<< "$settings"
    [ "$SFX_WINE_ROUTE" = qemu ] && echo "(32-bit Wine through qemu-i386)"
    export WINEPREFIX="$PWD/build/native/wine/prefix-$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wine() { "$SFX_WINE" "$@"; }
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    app="$work/$arch-app"
    make_sample "$app" "build/$arch/tests/programs/report.exe"
    "$sfxpack" --arch "$arch" --run report.exe --title "Demo" --silent -o "$work/demo-$arch.exe" "$app"
    [ -f "$WINEPREFIX/system.reg" ] || wine wineboot -i >/dev/null 2>&1
    "$WINESERVER" -k 2>/dev/null || true   # a server left over from an interrupted demo
    "$WINESERVER" -p
    trap '"$WINESERVER" -k 2>/dev/null' EXIT
    temp="$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')"
    temp_unix="$(wine winepath -u "$temp" 2>/dev/null)"
    report="$work/report-$arch.txt"
    printf '@"%s" "an argument"\r\n@echo exit code: %%errorlevel%%\r\n' "$(wine winepath -w "$work/demo-$arch.exe")" > "$work/run-$arch.bat"
    # cmd passes the launcher's exit code on; it is printed, not a failure of the demo.
    SFX_REPORT="$(wine winepath -w "$report")" SFX_EXIT_CODE=3 wine cmd /c "$(wine winepath -w "$work/run-$arch.bat")" | tr -d '\r' || true
    echo "what the program saw:"
    tr -d '\r' < "$report" 2>/dev/null || echo "(no report: the program did not run)"
    [ "$(count_temp "$temp_unix")" = 0 ] && echo "no temporary folder left behind" || echo "a temporary folder was left behind!"
  )
}
wine_demo win64
wine_demo win32
