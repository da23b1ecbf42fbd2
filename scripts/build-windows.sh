#!/usr/bin/env bash
# Cross-builds the plain C++ core, the window (vornbsl.exe, plain Win32) and vornbsl-cli.exe
# for 64-bit Windows with mingw-w64 into build-windows/ (or $VORN_WINDOWS_BUILD_DIR), and
# packs vornbsl-windows-x64.zip there: both programs, a short README for Windows users and
# the licences of the runtime linked into them. With VORN_WINDOWS_TESTS=ON the Qt-free unit tests are built too (GoogleTest from
# Debian's source). `scripts/setup.sh --windows` installs what is missing (quiet when all
# is there). Arguments go to the build tool, e.g. `-j 2`.
# The Qt window needs Qt for Windows, which Debian does not ship; Windows gets its own
# Win32 window over the same window model instead.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VORN_WINDOWS_BUILD_DIR:-$here/build-windows}

"$here/scripts/setup.sh" --windows

# Configured each time: the tests may be asked for now and not before.
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DVORN_BUILD_GUI=OFF -DVORN_BUILD_TESTS="${VORN_WINDOWS_TESTS:-OFF}" >/dev/null
# The core's layers with their link checks, the window, the command-line updater (and the tests).
cmake --build "$build" "$@"

# The zip for Windows users.
pack=$build/pack/vornbsl
rm -rf "$build/pack"
mkdir -p "$pack"
# Without the debugging sections an .exe is a tenth of its size.
x86_64-w64-mingw32-strip -o "$pack/vornbsl.exe" "$build/win32/vornbsl.exe"
x86_64-w64-mingw32-strip -o "$pack/vornbsl-cli.exe" "$build/cli/vornbsl-cli.exe"
cp "$here/scripts/windows/README-Windows.txt" "$pack/README.txt"
# The GCC runtime (libstdc++, libgcc) and the mingw-w64 runtime (winpthreads among it)
# are linked into each .exe: their licence texts go with them.
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$pack/LICENSE-gcc-runtime.txt"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$pack/LICENSE-mingw-w64-runtime.txt"
zip=$build/vornbsl-windows-x64.zip
rm -f "$zip"
(cd "$build/pack" && cmake -E tar cf "$zip" --format=zip vornbsl)
echo "build-windows: $build/win32/vornbsl.exe, $build/cli/vornbsl-cli.exe and $zip"
