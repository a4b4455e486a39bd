// Runs the built program the way a user does, in a folder of its own, and
// collects its standard output and exit status.
//
// TAFELIX_EXE names the program (default: the one this build made);
// TAFELIX_WRAPPER, when set, is put before it, for example "wine" for the
// Windows build.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;  // standard output, CR LF taken as LF
    std::string err;
};

inline std::string env_or(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

inline std::string tool_path()
{
    return env_or("TAFELIX_EXE", TAFELIX_DEFAULT_EXE);
}

// True when the program under test is the Windows build.
inline bool testing_windows_build()
{
    const std::string exe = tool_path();
    return exe.size() > 4 && exe.compare(exe.size() - 4, 4, ".exe") == 0;
}

inline std::string shell_quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

inline std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string without_cr_before_lf(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            out += text[i];
        }
    }
    return out;
}

// A fresh, empty folder under the system's temporary folder.
inline fs::path make_temp_folder(const std::string& tag)
{
    std::string pattern = (fs::temp_directory_path() / ("tafelix-" + tag + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern;
}

// A program to run: the command put before it (empty, or "wine") and its path.
struct Program {
    std::string wrapper;
    std::string exe;
};

// The program under test, as TAFELIX_EXE and TAFELIX_WRAPPER name it.
inline Program program_under_test()
{
    return {env_or("TAFELIX_WRAPPER", ""), tool_path()};
}

// The program this build made, run directly.
inline Program native_build()
{
    return {"", TAFELIX_DEFAULT_EXE};
}

// Runs `program` in `dir` with `args`; `stdin_command`, when given, is a
// shell command whose output is piped into the program. `stdout_to`, when
// given, sends standard output elsewhere instead of collecting it, as a
// shell redirection ("> file", "| cat > file"). The status is the program's.
inline ToolRun run_program(const Program& program, const fs::path& dir, const std::vector<std::string>& args,
                           const std::string& stdin_command = "", const std::string& stdout_to = "")
{
    const fs::path out_file = dir.string() + ".stdout";
    const fs::path err_file = dir.string() + ".stderr";
    std::string command = "cd " + shell_quote(dir.string()) + " && ";
    if (!stdin_command.empty()) {
        command += stdin_command + " | ";
    }
    if (!program.wrapper.empty()) {
        command += program.wrapper + " ";
    }
    command += shell_quote(program.exe);
    for (const std::string& a : args) {
        command += " " + shell_quote(a);
    }
    command += " " + (stdout_to.empty() ? "> " + shell_quote(out_file.string()) : stdout_to);
    command += " 2> " + shell_quote(err_file.string());
    const int raw = std::system(("bash -o pipefail -c " + shell_quote(command)).c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = without_cr_before_lf(read_file(out_file));
    run.err = read_file(err_file);
    fs::remove(out_file);
    fs::remove(err_file);
    return run;
}

// Runs the program under test; see run_program.
inline ToolRun run_tool(const fs::path& dir, const std::vector<std::string>& args,
                        const std::string& stdin_command = "", const std::string& stdout_to = "")
{
    return run_program(program_under_test(), dir, args, stdin_command, stdout_to);
}
