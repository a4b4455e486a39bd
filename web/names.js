// Array names as the build integrations take them: a C identifier that is
// no C keyword (C89 to C23, the same list in the same order as theirs), and
// the name the page proposes for a file. No DOM here: Node runs the tests
// (tests/web/names.test.js).
"use strict";

const Names = (() => {
    const KEYWORDS = "auto break case char const continue default do double else enum extern float for goto if inline int long register restrict return short signed sizeof static struct switch typedef union unsigned void volatile while _Alignas _Alignof _Atomic _Bool _Complex _Generic _Imaginary _Noreturn _Static_assert _Thread_local alignas alignof bool constexpr false nullptr static_assert thread_local true typeof typeof_unqual _BitInt _Decimal32 _Decimal64 _Decimal128";
    const keywords = new Set(KEYWORDS.split(" "));

    // Why the builds would refuse `name`, or "".
    function problem(name) {
        if (!/^[A-Za-z_][A-Za-z0-9_]*$/.test(name)) {
            return name === "" ? "Give the array a name." :
                "\u201c" + name + "\u201d is no C identifier: use letters, digits and _, not starting with a digit.";
        }
        return keywords.has(name) ? "\u201c" + name + "\u201d is a C keyword; choose another name." : "";
    }

    // The file name's stem made a C identifier: `4-wide.bmp` gives `_4_wide`,
    // `int.bmp` gives `int_`.
    function fromFile(fileName) {
        let name = fileName.replace(/\.[^.]*$/, "").replace(/[^A-Za-z0-9_]/g, "_");
        if (name === "" || /^[0-9]/.test(name)) {
            name = "_" + name;
        }
        return keywords.has(name) ? name + "_" : name;
    }

    return { KEYWORDS, problem, fromFile };
})();

if (typeof module === "object") {
    module.exports = Names;
}
