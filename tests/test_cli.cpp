// End-to-end cases: the built program on real files, checked by its standard
// output, exit status and the bytes of the file it writes. The same table
// runs against the Linux and the Windows build.
#include "bmp_builder.h"
#include "run_tool.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>

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

struct CliCase {
    std::string name;
    std::map<std::string, std::string> files;          // made before the run
    std::function<void(const fs::path&)> setup;         // links, folders, devices
    std::vector<std::string> args;
    std::string want_out;
    int want_status;
    std::optional<std::string> want_output;             // bytes of out.h; nullopt: absent
    std::string stdin_command;
    const char* posix_only = nullptr;                   // why the case cannot run on Windows
    std::string output_name = "out.h";
    std::function<void(const fs::path&)> cleanup;       // undoes what setup did, before removal
    std::string stdout_to;                              // "> console.txt" or "| cat > console.txt"
    const char* windows_only = nullptr;                 // why the case runs on the Windows build alone
};

// The console lines of a case whose standard output went to console.txt.
const std::string CONSOLE = "console.txt";

// How a Windows program under Wine names a POSIX path: on the drive Z:.
std::string windows_spelling(const fs::path& path)
{
    std::string name = "Z:" + fs::absolute(path).string();
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// A case that converts the seven-by-five picture from and to the given names.
CliCase converts(const std::string& name, const std::string& input, const std::string& output)
{
    return {name, {{input, BOTTOM_UP}}, nullptr, {input, output, "img"}, opened(input) + length_line(BOTTOM_UP.size()),
            0, table_of("img", false), "", nullptr, output};
}

// A case in which the output, by another spelling, is the input itself.
// Under Wine a drive letter is a symbolic link in the prefix's dosdevices
// folder, as `subst P: C:\pics` makes one on Windows; each of `letters`
// leads to the case's own folder (a letter that led elsewhere could become
// the current drive of a Wine program that another test runs meanwhile).
// {dir} in the arguments is the case's folder, spelled without a drive letter.
CliCase refuses(const std::string& name, const std::string& letters, const std::vector<std::string>& args)
{
    const auto link = [](char letter) {
        return fs::path(env_or("WINEPREFIX", "")) / "dosdevices" / (std::string(1, letter) + ":");
    };
    const auto map = [=](const fs::path& d) {
        for (char l : letters) {
            fs::create_symlink(d, link(l));
        }
    };
    CliCase c{name, {{"in.bmp", BOTTOM_UP}}, map, args, opened(args[0]) + NO_OUTPUT, 41, std::nullopt};
    c.cleanup = [=](const fs::path&) {
        for (char l : letters) {
            fs::remove(link(l));
        }
    };
    c.windows_only = "drive letters and \\\\?\\ paths exist only on Windows";
    return c;
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
    static const std::vector<CliCase> all = {
        {"usage without arguments", {}, nullptr, {}, USAGE, 0, std::nullopt},
        {"usage with one argument", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp"}, USAGE, 0, std::nullopt},
        {"usage with two arguments", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp", "out.h"}, USAGE, 0, std::nullopt},
        {"usage with two arguments and the switch", {{"in.bmp", BOTTOM_UP}}, nullptr, {"-wt", "out.h"}, USAGE, 0, std::nullopt},
        {"missing input", {}, nullptr, {"missing.bmp", "out.h", "img"},
         opened("missing.bmp") + NO_INPUT, 22, std::nullopt},
        {"input is a folder", {}, [](const fs::path& d) { fs::create_directory(d / "dir.bmp"); },
         {"dir.bmp", "out.h", "img"}, opened("dir.bmp") + NO_INPUT, 22, std::nullopt},
        {"output folder missing", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp", "nodir/out.h", "img"},
         opened("in.bmp") + NO_OUTPUT, 41, std::nullopt},
        {"output is a folder", {{"in.bmp", BOTTOM_UP}}, [](const fs::path& d) { fs::create_directory(d / "outdir"); },
         {"in.bmp", "outdir", "img"}, opened("in.bmp") + NO_OUTPUT, 41, std::nullopt},
        {"output is the input", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp", "in.bmp", "img"},
         opened("in.bmp") + NO_OUTPUT, 41, std::nullopt},
        {"output is the input by another path", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp", "./sub/../in.bmp", "img"},
         opened("in.bmp") + NO_OUTPUT, 41, std::nullopt, "", nullptr},
        {"output is a hard link to the input", {{"in.bmp", BOTTOM_UP}},
         [](const fs::path& d) { fs::create_hard_link(d / "in.bmp", d / "link.bmp"); },
         {"in.bmp", "link.bmp", "img"}, opened("in.bmp") + NO_OUTPUT, 41, std::nullopt},
        {"output is a symbolic link to the input", {{"in.bmp", BOTTOM_UP}},
         [](const fs::path& d) { fs::create_symlink("in.bmp", d / "sym.h"); },
         {"in.bmp", "sym.h", "img"}, opened("in.bmp") + NO_OUTPUT, 41, std::nullopt},
        {"bottom-up bitmap", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp", "out.h", "img"},
         opened("in.bmp") + length_line(BOTTOM_UP.size()), 0, table_of("img", false)},
        {"top-down bitmap with V5 header and palette, white marked", {{"in.bmp", TOP_DOWN_V5}}, nullptr,
         {"in.bmp", "out.h", "img", "-wt"}, opened("in.bmp") + length_line(TOP_DOWN_V5.size()), 0,
         table_of("img", true)},
        {"example of six pixels", {{"logo.bmp", SIX}}, nullptr, {"logo.bmp", "out.h", "logo", "-wt"},
         opened("logo.bmp") + length_line(SIX.size()), 0, SIX_MARKED},
        {"switch in other letter case or with two dashes is ignored", {{"in.bmp", BOTTOM_UP}}, nullptr,
         {"in.bmp", "out.h", "img", "-WT", "--wt", "-wt2"}, opened("in.bmp") + length_line(BOTTOM_UP.size()), 0,
         table_of("img", false)},
        {"switch after extra arguments", {{"in.bmp", BOTTOM_UP}}, nullptr,
         {"in.bmp", "out.h", "img", "extra", "-wt", "more"}, opened("in.bmp") + length_line(BOTTOM_UP.size()), 0,
         table_of("img", true)},
        {"switch as the input name", {{"-wt", BOTTOM_UP}}, nullptr, {"-wt", "out.h", "img"},
         opened("-wt") + length_line(BOTTOM_UP.size()), 0, table_of("img", true)},
        {"rejected bitmap empties an existing output", {{"in.bmp", EIGHT_BIT}, {"out.h", "old text"}}, nullptr,
         {"in.bmp", "out.h", "img"}, opened("in.bmp") + length_line(EIGHT_BIT.size()) + "bitcnt falsch\n" + READ_FAILED,
         28, ""},
        {"file of 10 bytes", {{"in.bmp", "BM12345678"}}, nullptr, {"in.bmp", "out.h", "img"},
         opened("in.bmp") + length_line(10) + "Datei zu kurz\n" + READ_FAILED, 28, ""},
        {"empty file", {{"in.bmp", ""}}, nullptr, {"in.bmp", "out.h", "img"},
         opened("in.bmp") + length_line(0) + "Datei zu kurz\n" + READ_FAILED, 28, ""},
        {"pixels cut off", {{"in.bmp", BOTTOM_UP.substr(0, BOTTOM_UP.size() - 40)}}, nullptr, {"in.bmp", "out.h", "img"},
         opened("in.bmp") + length_line(BOTTOM_UP.size() - 40) + "Bilddaten unvollstaendig\n" + READ_FAILED, 28, ""},
        {"file over 2 GiB is not loaded", {}, [](const fs::path& d) {
             write_file(d / "huge.bmp", BOTTOM_UP);
             fs::resize_file(d / "huge.bmp", 2147483648u);  // sparse: costs no disk
         },
         {"huge.bmp", "out.h", "img"}, opened("huge.bmp") + "Datei zu gross\n" + READ_FAILED, 28, ""},
        {"path over 260 characters and long array name", {{LONG_PATH, BOTTOM_UP}}, nullptr,
         {LONG_PATH, LONG_DIR + "/" + std::string(150, 'o') + ".h", LONG_NAME},
         opened(LONG_PATH) + length_line(BOTTOM_UP.size()), 0,
         table_of(LONG_NAME, false), "", nullptr, LONG_DIR + "/" + std::string(150, 'o') + ".h"},
        converts("names in Japanese", "\xe7\xb5\xb5/\xe3\x83\xad\xe3\x82\xb4.bmp", "\xe5\x87\xba\xe5\x8a\x9b.h"),
        converts("names in Greek", "\xce\xb5\xce\xb9\xce\xba\xcf\x8c\xce\xbd\xce\xb1.bmp", "\xce\xad\xce\xbe\xce\xbf\xce\xb4\xce\xbf\xcf\x82.h"),
        converts("names with an emoji", "logo\xf0\x9f\x98\x80.bmp", "\xf0\x9f\x8e\xa8.h"),
        refuses("output through a drive letter mapped onto the folder", "p",
                {"Z:{dir}\\in.bmp", "P:\\in.bmp", "img"}),
        refuses("input and output through two drive letters for the same place", "rs",
                {"R:\\in.bmp", "S:\\in.bmp", "img"}),
        refuses("output spelled \\\\?\\ with the current folder on another drive", "q",
                {"in.bmp", "\\\\?\\Z:{dir}\\in.bmp", "img"}),
        {"output is the file standard output goes to", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp", CONSOLE, "img"},
         opened("in.bmp") + NO_OUTPUT, 41, std::nullopt, "", nullptr, "out.h", nullptr, "> " + CONSOLE},
        {"/dev/stdout as output with standard output to a file", {{"in.bmp", BOTTOM_UP}}, nullptr,
         {"in.bmp", "/dev/stdout", "img"}, opened("in.bmp") + NO_OUTPUT, 41, std::nullopt, "",
         "/dev/stdout exists only on POSIX systems", "out.h", nullptr, "> " + CONSOLE},
        // Into a pipe the table goes as before, followed by the console lines,
        // which stay in standard output's buffer to the end.
        {"/dev/stdout as output with standard output to a pipe", {{"in.bmp", BOTTOM_UP}}, nullptr,
         {"in.bmp", "/dev/stdout", "img"},
         without_cr_before_lf(table_of("img", false)) + opened("in.bmp") + length_line(BOTTOM_UP.size()), 0,
         std::nullopt, "", "/dev/stdout exists only on POSIX systems", "out.h", nullptr, "| cat > " + CONSOLE},
        // The console lines would land in the bitmap: refused before any.
        {"standard output appended to the input", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp", "out.h", "img"},
         "", 41, std::nullopt, "", nullptr, "out.h", nullptr, ">> in.bmp"},
        {"standard output appended to a hard link to the input", {{"in.bmp", BOTTOM_UP}},
         [](const fs::path& d) { fs::create_hard_link(d / "in.bmp", d / "link.bmp"); },
         {"in.bmp", "out.h", "img"}, "", 41, std::nullopt, "", nullptr, "out.h", nullptr, ">> link.bmp"},
        {"standard output opened onto the input", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp", "out.h", "img"},
         "", 41, std::nullopt, "", "a POSIX shell's redirection", "out.h", nullptr, "1<> in.bmp"},
        {"standard output appended to another file", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp", "out.h", "img"},
         opened("in.bmp") + length_line(BOTTOM_UP.size()), 0, table_of("img", false), "", nullptr, "out.h", nullptr,
         ">> " + CONSOLE},
        {"output on a full device", {{"in.bmp", BOTTOM_UP}}, nullptr, {"in.bmp", "/dev/full", "img"},
         opened("in.bmp") + length_line(BOTTOM_UP.size()) + WRITE_FAILED, 39, std::nullopt, "",
         "/dev/full exists only on Linux"},
        {"input from a pipe", {{"in.bmp", BOTTOM_UP}}, nullptr, {"/dev/stdin", "out.h", "img"},
         opened("/dev/stdin") + length_line(BOTTOM_UP.size()), 0, table_of("img", false), "cat in.bmp",
         "/dev/stdin exists only on POSIX systems"},
        {"output folder is read-only", {{"in.bmp", BOTTOM_UP}},
         [](const fs::path& d) {
             fs::create_directory(d / "ro");
             make_unwritable(d / "ro");
         },
         {"in.bmp", "ro/out.h", "img"}, opened("in.bmp") + NO_OUTPUT, 41, std::nullopt, "",
         "made read-only with POSIX permissions or chattr", "ro/out.h",
         [](const fs::path& d) { make_writable(d / "ro"); }},
        {"existing output is read-only and stays as it was", {{"in.bmp", BOTTOM_UP}, {"out.h", "old text"}},
         [](const fs::path& d) { make_unwritable(d / "out.h"); },
         {"in.bmp", "out.h", "img"}, opened("in.bmp") + NO_OUTPUT, 41, "old text", "",
         "made read-only with POSIX permissions or chattr", "out.h",
         [](const fs::path& d) { make_writable(d / "out.h"); }},
        {"input fails to read", {}, nullptr, {"/proc/self/mem", "out.h", "img"},
         opened("/proc/self/mem") + "Datei kann nicht gelesen werden\n" + READ_FAILED, 28, "", "",
         "/proc/self/mem, which cannot be read from its start, exists only on Linux"},
    };
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

}  // namespace
