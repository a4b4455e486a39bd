// Times one converter command against a floor: copying the file the command
// wrote to a new path with cp. After one warm-up pair it runs the two
// alternately, so both see the same state of a shared, noisy machine, and
// prints medians of wall time, CPU time and the per-pair ratio, the
// throughput of input and output and the peak resident memory.
//
//   tafelix_time_pairs [--runs N] [--pixels P] [--tsv FILE] LABEL INPUT OUTPUT -- COMMAND...
//   tafelix_time_pairs --header        prints the names of the columns
//
// COMMAND must read INPUT and write OUTPUT. With OUTPUT "-" the command
// writes nothing and runs alone, without a floor (the ratio is then 0). Wall time is taken around fork
// and wait; CPU time (user + system) and peak memory come from wait4's
// resource usage of the child alone. POSIX only, like the script that
// drives it.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Sample {
    double wall = 0;        // seconds
    double cpu = 0;         // user + system seconds
    long peak_kib = 0;      // maximum resident set size
};

double seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs `argv` with standard output and error sent to /dev/null; exits the
// benchmark when the command fails, since its figures would mean nothing.
Sample run(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (child < 0) {
        std::perror("fork");
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("wait4");
        std::exit(1);
    }
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "time_pairs: '%s' failed (status %d)\n", argv[0].c_str(), status);
        std::exit(1);
    }
    Sample s;
    s.wall = std::chrono::duration<double>(end - start).count();
    s.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    s.peak_kib = usage.ru_maxrss;
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

long long file_size(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

int usage()
{
    std::fputs("usage: tafelix_time_pairs [--runs N] [--pixels P] [--tsv FILE] LABEL INPUT|- OUTPUT|- -- COMMAND...\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 11;
    double pixels = 0;
    std::string tsv;
    std::vector<std::string> positional;
    std::vector<std::string> command;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            command.assign(argv + i + 1, argv + argc);
            break;
        }
        if (a == "--header") {
            std::printf("%-22s %5s %8s %8s %8s %6s %8s %8s %9s %6s %8s %8s\n", "", "runs", "wall s", "cpu s",
                        "floor s", "ratio", "in MB/s", "out MB/s", "peak MiB", "/input", "ns/px", "cpu ns/px");
            return 0;
        }
        if (a == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (a == "--pixels" && i + 1 < argc) {
            pixels = std::atof(argv[++i]);
        } else if (a == "--tsv" && i + 1 < argc) {
            tsv = argv[++i];
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3 || command.empty() || runs < 1) {
        return usage();
    }
    const std::string& label = positional[0];
    const std::string& input = positional[1];
    const std::string& output = positional[2];
    const std::string copy = output + ".floor";
    const std::vector<std::string> floor = {"cp", output, copy};

    // Both commands write a new file each time: a leftover one would make
    // the run pay for truncating it.
    const bool with_floor = output != "-";
    std::vector<double> wall, cpu, floor_wall, ratio;
    long peak_kib = 0;
    for (int i = 0; i <= runs; ++i) {
        Sample base;
        if (with_floor) {
            std::remove(output.c_str());
        }
        const Sample tool = run(command);
        if (with_floor) {
            std::remove(copy.c_str());
            base = run(floor);
        }
        if (i == 0) {
            continue;  // the warm-up pair: caches filled, files allocated once
        }
        wall.push_back(tool.wall);
        cpu.push_back(tool.cpu);
        floor_wall.push_back(base.wall);
        ratio.push_back(with_floor ? tool.wall / base.wall : 0);
        peak_kib = std::max(peak_kib, tool.peak_kib);
    }
    const long long in_bytes = input == "-" ? 0 : file_size(input);
    const long long out_bytes = with_floor ? file_size(output) : 0;
    if (with_floor) {
        std::remove(output.c_str());
        std::remove(copy.c_str());
    }

    const double w = median(wall);
    const double c = median(cpu);
    const double f = median(floor_wall);
    const double r = median(ratio);
    const double peak_bytes = static_cast<double>(peak_kib) * 1024;
    const double in_mb = static_cast<double>(in_bytes) / 1e6;
    const double out_mb = static_cast<double>(out_bytes) / 1e6;
    const double ns_per_pixel = pixels > 0 ? w * 1e9 / pixels : 0;
    const double cpu_ns_per_pixel = pixels > 0 ? c * 1e9 / pixels : 0;
    const double rss_ratio = in_bytes > 0 ? peak_bytes / static_cast<double>(in_bytes) : 0;
    std::printf("%-22s %5d %8.4f %8.4f %8.4f %6.2f %8.1f %8.1f %9.1f %6.2f %8.2f %8.2f\n", label.c_str(), runs, w, c,
                f, r, in_mb / w, out_mb / w, peak_bytes / 1048576, rss_ratio, ns_per_pixel, cpu_ns_per_pixel);
    std::fflush(stdout);
    if (!tsv.empty()) {
        if (std::FILE* t = std::fopen(tsv.c_str(), "a")) {
            std::fprintf(t, "%s\t%d\t%.6f\t%.6f\t%.6f\t%.4f\t%lld\t%lld\t%ld\t%.4f\t%.4f\n", label.c_str(), runs, w,
                         c, f, r, in_bytes, out_bytes, peak_kib, ns_per_pixel, cpu_ns_per_pixel);
            std::fclose(t);
        }
    }
    return 0;
}
