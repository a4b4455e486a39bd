#!/usr/bin/env bash
# Builds and runs every test suite of tafelix.
#
# With TAFELIX_REQUIRE_ALL=1 (as in CI) a suite whose tools are missing is a
# failure instead of being skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

skipped=()
skip() {
    if [ "${TAFELIX_REQUIRE_ALL:-0}" = 1 ]; then
        echo "test-all: $1 is required but missing" >&2
        exit 1
    fi
    echo "test-all: SKIPPED $1" >&2
    skipped+=("$1")
}

echo "== unit, end-to-end and corpus tests (native build)"
cmake --workflow --preset test

echo "== the page's scripts under Node: the picture reading against the builds' own picture step, the C naming rules"
# The PngSuite files come from Debian's golang-1.19-src.
if command -v node >/dev/null && command -v convert >/dev/null \
        && [ -d /usr/share/go-1.19/src/image/png/testdata/pngsuite ]; then
    node --test tests/web/
else
    skip "the page's Node tests (need nodejs, imagemagick, golang-1.19-src)"
fi

echo "== the browser page: built with Emscripten, driven in headless Chromium (every row), Firefox and WebKitGTK (the rows marked all) against the native program and the make integration"
# Debian's python3, which python3-selenium serves, whatever python3 comes first on PATH.
# axe-core and puppeteer-core come from npm at test time, as locked in
# tools/page-test, into the build folder.
if command -v emcc >/dev/null && command -v chromedriver >/dev/null && /usr/bin/python3 -c 'import selenium' 2>/dev/null \
        && command -v npm >/dev/null && command -v convert >/dev/null && command -v make >/dev/null; then
    cmake --workflow --preset web
    mkdir -p build/npm
    if ! cmp -s tools/page-test/package-lock.json build/npm/package-lock.json; then
        cp tools/page-test/package.json tools/page-test/package-lock.json build/npm/
        npm ci --prefix build/npm --no-audit --no-fund --silent
    fi
    page_args=(--page build/web/page/index.html --native build/test/tafelix
               --write-bitmap build/test/tests/write_bitmap --npm build/npm/node_modules)
    /usr/bin/python3 tests/test_page.py --browser chromium "${page_args[@]}"
    if command -v firefox-esr >/dev/null; then
        /usr/bin/python3 tests/test_page.py --browser firefox "${page_args[@]}"
    else
        skip "browser page in Firefox (needs firefox-esr)"
    fi
    if command -v WebKitWebDriver >/dev/null && command -v xvfb-run >/dev/null; then
        xvfb-run -a /usr/bin/python3 tests/test_page.py --browser webkit "${page_args[@]}"
    else
        skip "browser page in WebKitGTK (needs webkit2gtk-driver, xvfb)"
    fi
else
    skip "browser page (needs emscripten, chromium, chromium-driver, python3-selenium, npm, imagemagick, make)"
fi

echo "== the Windows build: cross-built with MinGW-w64, end-to-end tests under Wine"
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
    cmake --workflow --preset windows
    cmake --workflow --preset windows-test
else
    skip "Windows build under Wine (needs g++-mingw-w64-x86-64-posix, mingw-w64, wine)"
fi

echo "== release packages (.deb, .tar.gz, Windows .zip): contents, use when unpacked, a second build"
if command -v dpkg-deb >/dev/null && command -v lintian >/dev/null && command -v zip >/dev/null \
        && command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
    cmake -DSOURCE_DIR="$PWD" -DTEST_BUILD="$PWD/build/test" -DWORK="$PWD/build/packages-check" \
        -P tests/integration/packages.cmake
else
    skip "release packages (need dpkg-dev, lintian, zip, g++-mingw-w64-x86-64-posix, wine)"
fi

echo "== MSVC readiness of the sources"
if command -v clang++ >/dev/null && command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
    bash tools/check-msvc-ready.sh
else
    skip "MSVC readiness check (needs clang, g++-mingw-w64-x86-64-posix)"
fi

echo "== every suite again under AddressSanitizer and UBSan (clang)"
if command -v clang++ >/dev/null; then
    cmake --workflow --preset asan
else
    skip "sanitizer build (clang++ not found)"
fi

echo "== the program under valgrind (memcheck) in every end-to-end run"
if command -v valgrind >/dev/null; then
    # A memory error or a definite leak makes the program end with 97,
    # which no case expects.
    wrapper="valgrind -q --error-exitcode=97 --leak-check=full --errors-for-leak-kinds=definite"
    for suite in test_cli test_corpus; do
        TAFELIX_WRAPPER="$wrapper" "build/test/tests/$suite" --gtest_brief=1
    done
    TAFELIX_WRAPPER="$wrapper" build/test/tests/test_corruption --gtest_brief=1 \
        --gtest_filter='Corruption.DamagedFilesThroughTheProgram'
else
    skip "valgrind (not found)"
fi

# A short fuzz run per target; TAFELIX_FUZZ_SECONDS shortens it for local
# runs (0 leaves it out).
fuzz_seconds="${TAFELIX_FUZZ_SECONDS:-60}"
echo "== fuzzing each target for $fuzz_seconds s (AddressSanitizer and UBSan)"
if [ "$fuzz_seconds" = 0 ]; then
    skip "fuzzing (TAFELIX_FUZZ_SECONDS=0)"
elif command -v clang++ >/dev/null; then
    bash fuzz/run.sh "$fuzz_seconds"
else
    skip "fuzzing (clang++ not found)"
fi

if [ "${#skipped[@]}" -gt 0 ]; then
    echo "test-all: skipped: ${skipped[*]}"
fi
echo "test-all: all suites passed"
