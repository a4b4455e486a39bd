// End-to-end cases: the built program on real files, checked by its standard
// output, exit status and the bytes of the file it writes. The same table
// runs against the Linux and the Windows build.
#include "bmp_builder.h"
#include "bmp_verdict.h"
#include "driver/platform.h"
#include "run_tool.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace {

const std::string USAGE =
    "Converter fuer bmp 24 bit nach c file zum includieren V1.0\n"
    "Quendrak\n"
    "tafelix filename outputname  varname\n";
const std::string NO_INPUT = "Datei nicht vorhanden\n";
const std::string NO_OUTPUT = "Ausgabedatei kann nicht geoeffnet werden\n";
const std::string READ_FAILED = "Fehler beim lesen der Daten\n";
const std::string WRITE_FAILED = "Fehler beim schreiben der Ausgabedatei\n";

const BmpPicture PICTURE = random_picture(7, 5, 1);
const std::string BOTTOM_UP = bytes_of(make_bmp(PICTURE));
const std::string TOP_DOWN_V5 = bytes_of(make_bmp(PICTURE, {true, 124, 1024}));
// The six pixels of the manual's example: blue, black, white, ever darker blues.
const std::string SIX = bytes_of(make_bmp(BmpPicture{6, 1, {0xFF, 0, 0xFFFFFF, 0x80, 0x40, 0x20}}));
const std::string SIX_MARKED = "//Tabelle mit tafelix erzeugt: \r\nint logo[6]={\r\n255,0,-1,128,64,\r\n32,\r\n};\r\n";
const std::string EIGHT_BIT = [] {
    std::string b = BOTTOM_UP;
    b[28] = 8;
    return b;
}();
const std::string LONG_DIR = std::string(120, 'd');
const std::string LONG_PATH = LONG_DIR + "/" + LONG_DIR + "/" + LONG_DIR + "/in.bmp";  // over 260 characters
const std::string LONG_NAME = std::string(1000, 'v');

std::string opened(const std::string& name) { return "oeffne Datei:" + name + "\n"; }
std::string length_line(std::size_t n) { return "filelaenge: " + std::to_string(n) + "\n"; }
std::string table_of(const std::string& name, bool mark_white) { return reference_text(name, expected_values(PICTURE, mark_white)); }

using Files = std::map<std::string, std::string>;
using Action = std::function<void(const fs::path&)>;
const Files IN = {{"in.bmp", BOTTOM_UP}};

// One run of the program. The builders below make every case; the
// functions after them add what only a few cases need.
struct CliCase {
    std::string name;
    Files files;                             // made before the run
    std::vector<std::string> args;
    std::string want_out;
    int want_status = 0;
    std::optional<std::string> want_output;  // bytes of the output; nullopt: no out.h
    std::string output_name = "out.h";
    Action setup;                            // links, folders, devices
    Action cleanup;                          // undoes what setup did, before removal
    std::string stdin_command;               // a shell command piped into the program
    std::string stdout_to;                   // "> console.txt", ">> in.bmp", "| cat > console.txt"
    const char* posix_only = nullptr;        // why the case cannot run on Windows
    const char* windows_only = nullptr;      // why the case runs on the Windows build alone
};

// A run that prints `out` and ends with `status`, making no output file.
CliCase fails(const std::string& name, const Files& files, const std::vector<std::string>& args,
              const std::string& out, int status)
{
    CliCase c;
    c.name = name;
    c.files = files;
    c.args = args;
    c.want_out = out;
    c.want_status = status;
    return c;
}

CliCase prints_usage(const std::string& name, const Files& files, const std::vector<std::string>& args)
{
    return fails(name, files, args, USAGE, 0);
}

// A run that leaves the output unopened: status 41, the input as it was.
CliCase refuses(const std::string& name, const std::vector<std::string>& args)
{
    return fails(name, IN, args, opened(args[0]) + NO_OUTPUT, 41);
}

// A run that finds nothing to convert: status 28, out.h made empty.
CliCase rejects(const std::string& name, const Files& files, const std::vector<std::string>& args,
                const std::string& out)
{
    CliCase c = fails(name, files, args, out, 28);
    c.want_output = "";
    return c;
}

// A run on in.bmp holding `input` that rejects it with `messages`.
CliCase rejects_bitmap(const std::string& name, const std::string& input, const std::string& messages)
{
    return rejects(name, {{"in.bmp", input}}, {"in.bmp", "out.h", "img"},
                   opened("in.bmp") + length_line(input.size()) + messages + READ_FAILED);
}

// A run that writes `table` to args[1] and prints `out`.
CliCase writes(const std::string& name, const Files& files, const std::vector<std::string>& args,
               const std::string& out, const std::string& table)
{
    CliCase c = fails(name, files, args, out, 0);
    c.want_output = table;
    c.output_name = args[1];
    return c;
}

// A run that converts in.bmp holding `input` to out.h.
CliCase converts_bitmap(const std::string& name, const std::string& input, bool mark_white, const std::string& table)
{
    std::vector<std::string> args = {"in.bmp", "out.h", "img"};
    if (mark_white) {
        args.push_back("-wt");
    }
    return writes(name, {{"in.bmp", input}}, args, opened("in.bmp") + length_line(input.size()), table);
}

// A run that converts the seven-by-five picture from and to the given names.
CliCase converts(const std::string& name, const std::string& input, const std::string& output)
{
    return writes(name, {{input, BOTTOM_UP}}, {input, output, "img"}, opened(input) + length_line(BOTTOM_UP.size()),
                  table_of("img", false));
}

CliCase with_setup(CliCase c, Action setup, Action cleanup = nullptr)
{
    c.setup = std::move(setup);
    c.cleanup = std::move(cleanup);
    return c;
}

CliCase with_file(CliCase c, const std::string& path, const std::string& bytes)
{
    c.files[path] = bytes;
    return c;
}

CliCase posix_only(CliCase c, const char* why)
{
    c.posix_only = why;
    return c;
}

CliCase stdin_from(CliCase c, const std::string& command)
{
    c.stdin_command = command;
    return c;
}

// Standard output sent elsewhere by a redirection, which a Windows case
// types at cmd's prompt ("> name" or ">> name").
CliCase stdout_to(CliCase c, const std::string& redirection)
{
    c.stdout_to = redirection;
    return c;
}

// The console lines of a case whose standard output went to console.txt.
const std::string CONSOLE = "console.txt";

// How a Windows program under Wine names a POSIX path: on the drive Z:.
std::string windows_spelling(const fs::path& path)
{
    std::string name = "Z:" + fs::absolute(path).string();
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// A case in which the output, by another spelling, is the input itself.
// Under Wine a drive letter is a symbolic link in the prefix's dosdevices
// folder, as `subst P: C:\pics` makes one on Windows; each of `letters`
// leads to the case's own folder (a letter that led elsewhere could become
// the current drive of a Wine program that another test runs meanwhile).
// {dir} in the arguments is the case's folder, spelled without a drive letter.
CliCase refuses_by_drive(const std::string& name, const std::string& letters, const std::vector<std::string>& args)
{
    const auto link = [](char letter) {
        return fs::path(env_or("WINEPREFIX", "")) / "dosdevices" / (std::string(1, letter) + ":");
    };
    CliCase c = with_setup(
        refuses(name, args),
        [=](const fs::path& d) {
            for (char l : letters) {
                fs::create_symlink(d, link(l));
            }
        },
        [=](const fs::path&) {
            for (char l : letters) {
                fs::remove(link(l));
            }
        });
    c.windows_only = "drive letters and \\\\?\\ paths exist only on Windows";
    return c;
}

// Conversions whose bytes the Windows build must write as the Linux build
// does: every padding of a row (widths 1 to 9) with pixels made of the
// bytes CR, LF and 0x1A (end of file), which a stream in text mode would
// mangle, both row orders, with and without -wt; over 2 MiB of text, written
// in several blocks; and the corpus's 24-bit files, against what the
// library makes of them.
void add_same_bytes_cases(std::vector<CliCase>& all)
{
    const auto add_picture = [&all](const std::string& name, std::int32_t width, std::int32_t rows,
                                    std::uint32_t seed) {
        BmpPicture pic = random_picture(width, rows, seed);
        const std::uint32_t awkward[] = {0x0D0A1A, 0x1A1A1A, 0x0A0D0A};
        for (std::size_t i = 0; i < 3 && 1 + i < pic.pixels.size() - 1; ++i) {
            pic.pixels[1 + i] = awkward[i];
        }
        for (bool top_down : {false, true}) {
            for (bool mark_white : {false, true}) {
                all.push_back(converts_bitmap(
                    "same bytes " + name + (top_down ? " top-down" : " bottom-up") + (mark_white ? " -wt" : ""),
                    bytes_of(make_bmp(pic, {top_down})), mark_white,
                    reference_text("img", expected_values(pic, mark_white))));
            }
        }
    };
    for (std::int32_t width = 1; width <= 9; ++width) {
        add_picture("width " + std::to_string(width), width, 3, static_cast<std::uint32_t>(width));
    }
    add_picture("1000x300", 1000, 300, 99);
    for (const char* file : {"g/rgb24.bmp", "g/rgb24pal.bmp", "q/rgb24largepal.bmp", "q/rgb24lprof.bmp"}) {
        const std::string bytes = read_file(fs::path(TAFELIX_TEST_DATA) / "bmpsuite" / file);
        const BmpVerdict want = expected_verdict(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), false);
        all.push_back(converts_bitmap(std::string("same bytes corpus ") + file, bytes, false,
                                      want.accepted ? reference_text("img", want.values) : "rejected"));
    }
}

// Makes `path` unwritable even for root, who ignores permission bits: with
// the immutable attribute then. Skips the test when the file system or the
// user's rights allow neither.
void make_unwritable(const fs::path& path)
{
    if (geteuid() != 0) {
        fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        return;
    }
    if (std::system(("chattr +i " + shell_quote(path.string()) + " 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "running as root, and chattr +i does not work on " << path
                     << ": nothing else keeps root from writing";
    }
}

void make_writable(const fs::path& path)
{
    if (geteuid() == 0) {
        std::system(("chattr -i " + shell_quote(path.string()) + " 2>/dev/null").c_str());
    }
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
}

// Every file and folder below `dir`.
std::set<fs::path> listing(const fs::path& dir)
{
    std::set<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        paths.insert(entry.path().lexically_relative(dir));
    }
    return paths;
}


const std::vector<CliCase>& cases()
{
    static const std::vector<CliCase> all = [] {
        const std::string in_7x5 = opened("in.bmp") + length_line(BOTTOM_UP.size());
        CliCase read_only_output = posix_only(
            with_setup(with_file(refuses("existing output is read-only and stays as it was", {"in.bmp", "out.h", "img"}),
                                 "out.h", "old text"),
                       [](const fs::path& d) { make_unwritable(d / "out.h"); },
                       [](const fs::path& d) { make_writable(d / "out.h"); }),
            "made read-only with POSIX permissions or chattr");
        read_only_output.want_output = "old text";
        std::vector<CliCase> c = {
            prints_usage("usage without arguments", {}, {}),
            prints_usage("usage with one argument", IN, {"in.bmp"}),
            prints_usage("usage with two arguments", IN, {"in.bmp", "out.h"}),
            prints_usage("usage with two arguments and the switch", IN, {"-wt", "out.h"}),
            fails("missing input", {}, {"missing.bmp", "out.h", "img"}, opened("missing.bmp") + NO_INPUT, 22),
            with_setup(fails("input is a folder", {}, {"dir.bmp", "out.h", "img"}, opened("dir.bmp") + NO_INPUT, 22),
                       [](const fs::path& d) { fs::create_directory(d / "dir.bmp"); }),
            refuses("output folder missing", {"in.bmp", "nodir/out.h", "img"}),
            with_setup(refuses("output is a folder", {"in.bmp", "outdir", "img"}),
                       [](const fs::path& d) { fs::create_directory(d / "outdir"); }),
            refuses("output is the input", {"in.bmp", "in.bmp", "img"}),
            refuses("output is the input by another path", {"in.bmp", "./sub/../in.bmp", "img"}),
            with_setup(refuses("output is a hard link to the input", {"in.bmp", "link.bmp", "img"}),
                       [](const fs::path& d) { fs::create_hard_link(d / "in.bmp", d / "link.bmp"); }),
            with_setup(refuses("output is a symbolic link to the input", {"in.bmp", "sym.h", "img"}),
                       [](const fs::path& d) { fs::create_symlink("in.bmp", d / "sym.h"); }),
            writes("bottom-up bitmap", IN, {"in.bmp", "out.h", "img"}, in_7x5, table_of("img", false)),
            writes("top-down bitmap with V5 header and palette, white marked", {{"in.bmp", TOP_DOWN_V5}},
                   {"in.bmp", "out.h", "img", "-wt"}, opened("in.bmp") + length_line(TOP_DOWN_V5.size()),
                   table_of("img", true)),
            writes("example of six pixels", {{"logo.bmp", SIX}}, {"logo.bmp", "out.h", "logo", "-wt"},
                   opened("logo.bmp") + length_line(SIX.size()), SIX_MARKED),
            writes("switch in other letter case or with two dashes is ignored", IN,
                   {"in.bmp", "out.h", "img", "-WT", "--wt", "-wt2"}, in_7x5, table_of("img", false)),
            writes("switch after extra arguments", IN, {"in.bmp", "out.h", "img", "extra", "-wt", "more"}, in_7x5,
                   table_of("img", true)),
            writes("switch as the input name", {{"-wt", BOTTOM_UP}}, {"-wt", "out.h", "img"},
                   opened("-wt") + length_line(BOTTOM_UP.size()), table_of("img", true)),
            with_file(rejects_bitmap("rejected bitmap empties an existing output", EIGHT_BIT, "bitcnt falsch\n"),
                      "out.h", "old text"),
            rejects_bitmap("file of 10 bytes", "BM12345678", "Datei zu kurz\n"),
            rejects_bitmap("empty file", "", "Datei zu kurz\n"),
            rejects_bitmap("pixels cut off", BOTTOM_UP.substr(0, BOTTOM_UP.size() - 40), "Bilddaten unvollstaendig\n"),
            with_setup(rejects("file over 2 GiB is not loaded", {}, {"huge.bmp", "out.h", "img"},
                               opened("huge.bmp") + "Datei zu gross\n" + READ_FAILED),
                       [](const fs::path& d) {
                           write_file(d / "huge.bmp", BOTTOM_UP);
                           fs::resize_file(d / "huge.bmp", 2147483648u);  // sparse: costs no disk
                       }),
            writes("path over 260 characters and long array name", {{LONG_PATH, BOTTOM_UP}},
                   {LONG_PATH, LONG_DIR + "/" + std::string(150, 'o') + ".h", LONG_NAME},
                   opened(LONG_PATH) + length_line(BOTTOM_UP.size()), table_of(LONG_NAME, false)),
            converts("names in Japanese", "\xe7\xb5\xb5/\xe3\x83\xad\xe3\x82\xb4.bmp", "\xe5\x87\xba\xe5\x8a\x9b.h"),
            converts("names in Greek", "\xce\xb5\xce\xb9\xce\xba\xcf\x8c\xce\xbd\xce\xb1.bmp", "\xce\xad\xce\xbe\xce\xbf\xce\xb4\xce\xbf\xcf\x82.h"),
            converts("names with an emoji", "logo\xf0\x9f\x98\x80.bmp", "\xf0\x9f\x8e\xa8.h"),
            refuses_by_drive("output through a drive letter mapped onto the folder", "p",
                             {"Z:{dir}\\in.bmp", "P:\\in.bmp", "img"}),
            refuses_by_drive("input and output through two drive letters for the same place", "rs",
                             {"R:\\in.bmp", "S:\\in.bmp", "img"}),
            refuses_by_drive("output spelled \\\\?\\ with the current folder on another drive", "q",
                             {"in.bmp", "\\\\?\\Z:{dir}\\in.bmp", "img"}),
            stdout_to(refuses("output is the file standard output goes to", {"in.bmp", CONSOLE, "img"}), "> " + CONSOLE),
            posix_only(stdout_to(refuses("/dev/stdout as output with standard output to a file",
                                         {"in.bmp", "/dev/stdout", "img"}),
                                 "> " + CONSOLE),
                       "/dev/stdout exists only on POSIX systems"),
            // Into a pipe the table goes as before, followed by the console
            // lines, which stay in standard output's buffer to the end.
            posix_only(stdout_to(fails("/dev/stdout as output with standard output to a pipe", IN,
                                       {"in.bmp", "/dev/stdout", "img"},
                                       without_cr_before_lf(table_of("img", false)) + in_7x5, 0),
                                 "| cat > " + CONSOLE),
                       "/dev/stdout exists only on POSIX systems"),
            // The console lines would land in the bitmap: refused before any.
            stdout_to(fails("standard output appended to the input", IN, {"in.bmp", "out.h", "img"}, "", 41),
                      ">> in.bmp"),
            with_setup(stdout_to(fails("standard output appended to a hard link to the input", IN,
                                       {"in.bmp", "out.h", "img"}, "", 41),
                                 ">> link.bmp"),
                       [](const fs::path& d) { fs::create_hard_link(d / "in.bmp", d / "link.bmp"); }),
            posix_only(stdout_to(fails("standard output opened onto the input", IN, {"in.bmp", "out.h", "img"}, "", 41),
                                 "1<> in.bmp"),
                       "a POSIX shell's redirection"),
            stdout_to(writes("standard output appended to another file", IN, {"in.bmp", "out.h", "img"}, in_7x5,
                             table_of("img", false)),
                      ">> " + CONSOLE),
            posix_only(fails("output on a full device", IN, {"in.bmp", "/dev/full", "img"}, in_7x5 + WRITE_FAILED, 39),
                       "/dev/full exists only on Linux"),
            posix_only(stdin_from(writes("input from a pipe", IN, {"/dev/stdin", "out.h", "img"},
                                         opened("/dev/stdin") + length_line(BOTTOM_UP.size()), table_of("img", false)),
                                  "cat in.bmp"),
                       "/dev/stdin exists only on POSIX systems"),
            posix_only(with_setup(refuses("output folder is read-only", {"in.bmp", "ro/out.h", "img"}),
                                  [](const fs::path& d) {
                                      fs::create_directory(d / "ro");
                                      make_unwritable(d / "ro");
                                  },
                                  [](const fs::path& d) { make_writable(d / "ro"); }),
                       "made read-only with POSIX permissions or chattr"),
            read_only_output,
            posix_only(rejects("input fails to read", {}, {"/proc/self/mem", "out.h", "img"},
                               opened("/proc/self/mem") + "Datei kann nicht gelesen werden\n" + READ_FAILED),
                       "/proc/self/mem, which cannot be read from its start, exists only on Linux"),
        };
        add_same_bytes_cases(c);
        return c;
    }();
    return all;
}

void PrintTo(const CliCase& c, std::ostream* os)
{
    *os << c.name;
}

class Cli : public testing::TestWithParam<CliCase> {};

TEST_P(Cli, Run)
{
    const CliCase& c = GetParam();
    if (c.posix_only != nullptr && testing_windows_build()) {
        GTEST_SKIP() << c.posix_only;
    }
    if (c.windows_only != nullptr && !testing_windows_build()) {
        GTEST_SKIP() << c.windows_only;
    }
    const fs::path dir = make_temp_folder("cli");
    ASSERT_FALSE(dir.empty());
    fs::create_directory(dir / "sub");
    for (const auto& [path, bytes] : c.files) {
        fs::create_directories((dir / path).parent_path());
        write_file(dir / path, bytes);
    }
    if (c.setup) {
        c.setup(dir);
    }
    const auto finish = [&] {
        if (c.cleanup) {
            c.cleanup(dir);
        }
        fs::remove_all(dir);
    };
    if (IsSkipped()) {
        finish();
        return;
    }

    const std::string dir_spelled = testing_windows_build() ? windows_spelling(dir).substr(2) : dir.string();
    const auto spelled = [&](std::string text) {
        if (const std::size_t at = text.find("{dir}"); at != std::string::npos) {
            text.replace(at, 5, dir_spelled);
        }
        return text;
    };
    std::vector<std::string> args;
    std::transform(c.args.begin(), c.args.end(), std::back_inserter(args), spelled);
    const std::set<fs::path> before = listing(dir);
    ToolRun run;
    if (!c.stdout_to.empty() && testing_windows_build()) {
        // At a Windows prompt the command interpreter sends standard output
        // to the file; Wine gives a redirection by a POSIX shell no identity.
        args.insert(args.begin(), {"/c", windows_spelling(tool_path())});
        std::istringstream redirection(c.stdout_to);
        args.insert(args.end(), std::istream_iterator<std::string>(redirection), {});
        run = run_program({program_under_test().wrapper, "cmd"}, dir, args);
    } else {
        run = run_tool(dir, args, c.stdin_command, c.stdout_to);
    }
    if (!c.stdout_to.empty()) {
        run.out = without_cr_before_lf(read_file(dir / CONSOLE));
        fs::remove(dir / CONSOLE);
    }
    EXPECT_EQ(run.out, spelled(c.want_out));
    EXPECT_EQ(run.status, c.want_status);
    if (!testing_windows_build()) {
        EXPECT_EQ(run.err, "") << "nothing goes to the error stream";
    }
    if (c.want_output) {
        EXPECT_TRUE(fs::is_regular_file(dir / c.output_name)) << c.output_name << " missing";
        EXPECT_TRUE(read_file(dir / c.output_name) == *c.want_output) << "output bytes differ";
    } else if (c.output_name == "out.h") {
        EXPECT_FALSE(fs::exists(dir / "out.h")) << "no output may be created";
    }
    for (const auto& [path, bytes] : c.files) {
        if (path != c.output_name) {
            EXPECT_TRUE(read_file(dir / path) == bytes) << path << " was changed";
        }
    }
    // Nothing is left behind but the output of a run that made one.
    for (const fs::path& path : listing(dir)) {
        if (before.count(path) == 0 && !(c.want_output && path == fs::path(c.output_name).lexically_normal())) {
            ADD_FAILURE() << path << " was created";
        }
    }
    finish();
}

std::string case_name(const testing::TestParamInfo<CliCase>& info)
{
    std::string name;
    for (char ch : info.param.name) {
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Table, Cli, testing::ValuesIn(cases()), case_name);

// The identity behind the same-file guard: one file exactly when the system
// answered for both and kind, volume and the whole index agree. Two disks
// number their files each from its own start.
TEST(SameFile, VolumeAndIndexTogether)
{
    FileFacts a;
    a.known = true;
    a.kind = 1;
    a.volume = 7;
    a.index[0] = 42;
    EXPECT_TRUE(same_file(a, a));
    FileFacts other = a;
    other.volume = 8;
    EXPECT_FALSE(same_file(a, other)) << "the same index on another volume";
    other = a;
    other.index[0] = 43;
    EXPECT_FALSE(same_file(a, other)) << "another index";
    other = a;
    other.index[1] = 1;
    EXPECT_FALSE(same_file(a, other)) << "another high half of a 128-bit id";
    other = a;
    other.kind = 2;
    EXPECT_FALSE(same_file(a, other)) << "an id of another kind";
    other = a;
    other.known = false;
    EXPECT_FALSE(same_file(a, other)) << "an unknown file";
    EXPECT_FALSE(same_file(other, a)) << "an unknown file";
    EXPECT_FALSE(same_file(FileFacts{}, FileFacts{})) << "two unknown files";
}

}  // namespace
