#!/usr/bin/env bash
# Checks, without MSVC at hand, that the program's sources build with it as
# they do with GCC: no POSIX-only headers or calls, no GCC-only extensions,
# no warning.
#
# 1. Every source includes only standard C++ headers and the program's own.
# 2. Every source compiles without a warning as C++17 for 64-bit Windows
#    under clang, against the MinGW-w64 headers, with
#    - the Windows target: long is 32 bits (LLP64), as with MSVC;
#    - -Wpedantic -Wgnu: GCC-only extensions (variable-length arrays,
#      statement expressions, "a ?: b", case ranges, ...) are errors;
#    - __MINGW_MSVC_COMPAT_WARNINGS: POSIX names (fileno, fdopen, strdup,
#      ...) are deprecated, as MSVC deprecates them (warning C4996);
#    - the warnings and the _CRT_SECURE_NO_WARNINGS of our MSVC build.
# Before the sources, the check runs on a few faults it must catch.
#
# Needs clang++ and x86_64-w64-mingw32-g++-posix (for its headers).
set -euo pipefail
cd "$(dirname "$0")/.."

STANDARD_HEADERS=" algorithm any array atomic bitset charconv chrono codecvt complex
condition_variable deque exception execution filesystem forward_list fstream
functional future initializer_list iomanip ios iosfwd iostream istream iterator
limits list locale map memory memory_resource mutex new numeric optional ostream
queue random ratio regex scoped_allocator set shared_mutex sstream stack
stdexcept streambuf string string_view strstream system_error thread tuple
type_traits typeindex typeinfo unordered_map unordered_set utility valarray
variant vector
cassert ccomplex cctype cerrno cfenv cfloat cinttypes ciso646 climits clocale
cmath csetjmp csignal cstdalign cstdarg cstdbool cstddef cstdint cstdio cstdlib
cstring ctgmath ctime cuchar cwchar cwctype
assert.h complex.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h
locale.h math.h setjmp.h signal.h stdalign.h stdarg.h stdbool.h stddef.h
stdint.h stdio.h stdlib.h string.h tgmath.h time.h uchar.h wchar.h wctype.h "
STANDARD_HEADERS=$(echo $STANDARD_HEADERS)

# The MinGW-w64 C++ headers and C headers, as its cross-compiler finds them;
# clang's own headers (intrinsics, <stddef.h>) go between them.
cxx_dirs=()
c_dirs=()
while read -r dir; do
    case "$dir" in
    */include/c++*) cxx_dirs+=(-isystem "$dir") ;;
    */x86_64-w64-mingw32/include) c_dirs+=(-isystem "$dir") ;;
    esac
done < <(x86_64-w64-mingw32-g++-posix -E -x c++ -v /dev/null 2>&1 |
         sed -n '/<...> search starts here:/,/End of search list/p')
if [ "${#cxx_dirs[@]}" -eq 0 ] || [ "${#c_dirs[@]}" -eq 0 ]; then
    echo "check-msvc-ready: MinGW-w64 headers not found" >&2
    exit 1
fi

flags=(--target=x86_64-w64-windows-gnu -std=c++17 -fsyntax-only -nostdinc
       "${cxx_dirs[@]}" -isystem "$(clang++ -print-resource-dir)/include" "${c_dirs[@]}"
       -Werror -Wall -Wextra -Wpedantic -Wconversion -Wshadow -Wgnu
       -D__MINGW_MSVC_COMPAT_WARNINGS -D_CRT_SECURE_NO_WARNINGS
       -D_CRT_SECURE_CPP_OVERLOAD_STANDARD_NAMES=1 -Isrc)

# Prints each include of FILE that is neither standard nor in quotes.
foreign_includes()
{
    local name
    for name in $(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<([^>]+)>.*/\1/p' "$1"); do
        case " $STANDARD_HEADERS " in
        *" $name "*) ;;
        *) echo "$1: <$name> is not a standard C++ header" ;;
        esac
    done
}

# The one file that may call the operating system. Its system headers stand
# under "#if defined(__linux__)", which the header scan cannot see; the
# compile for Windows below still checks what it leaves on Windows.
PLATFORM_FILES=" src/driver/platform.cpp "

# True when FILE passes both checks; prints what is wrong otherwise.
ready()
{
    local foreign=""
    case "$PLATFORM_FILES" in
    *" $1 "*) ;;
    *) foreign=$(foreign_includes "$1") ;;
    esac
    if [ -n "$foreign" ]; then
        echo "$foreign"
        return 1
    fi
    case "$1" in
    *.cpp) clang++ "${flags[@]}" "$1" 2>&1 ;;
    esac
}

faults=$(mktemp -d)
trap 'rm -rf "$faults"' EXIT
printf '%s\n' '#include <unistd.h>' 'int f() { return 0; }' > "$faults/posix_header.cpp"
printf '%s\n' '#include <cstdio>' 'int f() { return fileno(stdout); }' > "$faults/posix_call.cpp"
printf '%s\n' 'int f(int n) { int a[n]; a[0] = n; return a[0]; }' > "$faults/variable_length_array.cpp"
printf '%s\n' 'int f(int n) { return n ?: 1; }' > "$faults/omitted_operand.cpp"
printf '%s\n' '#include <cstddef>' 'unsigned long f(std::size_t n) { return n; }' > "$faults/long_of_32_bits.cpp"
for fault in "$faults"/*.cpp; do
    if ready "$fault" >/dev/null; then
        echo "check-msvc-ready: the check missed the fault in $(basename "$fault")" >&2
        exit 1
    fi
done

status=0
count=0
for source in $(find src -name '*.cpp' -o -name '*.h' | sort); do
    count=$((count + 1))
    ready "$source" || status=1
done
if [ "$status" -ne 0 ]; then
    echo "check-msvc-ready: FAILED" >&2
    exit 1
fi
echo "check-msvc-ready: $count sources clean (clang $(clang++ -dumpversion), $(ls "$faults" | wc -l) planted faults caught)"
