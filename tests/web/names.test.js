// The array names the page takes and proposes (web/names.js), as the build
// integrations check them.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const Names = require("../../web/names.js");

test("names the builds refuse get a reason, the others none", () => {
    for (const [name, refused] of [["logo_2", false], ["_", false], ["_9", false], ["Int", false], ["my logo", true],
        ["", true], ["9lives", true], ["tafelix-logo", true], ["int", true], ["alignas", true], ["_Decimal128", true],
        ["typeof_unqual", true], ["caf\u00e9", true]]) {
        assert.strictEqual(Names.problem(name) !== "", refused, name);
    }
});

test("a file's stem made a C identifier that is no keyword", () => {
    for (const [file, name] of [["4-wide.bmp", "_4_wide"], ["int.bmp", "int_"], ["w3 up.bmp", "w3_up"],
        ["w5.BMP", "w5"], [".png", "_"], ["a.b.gif", "a_b"], ["noext", "noext"], ["_Bool.png", "_Bool_"]]) {
        assert.strictEqual(Names.fromFile(file), name, file);
        assert.strictEqual(Names.problem(Names.fromFile(file)), "", file);
    }
});
