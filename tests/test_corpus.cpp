// The public BMP Suite corpus through the built program: every file runs
// without a crash and gets the verdict that the corpus README lists for it.
#include "run_tool.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const fs::path CORPUS = fs::path(TAFELIX_TEST_DATA) / "bmpsuite";

struct Verdict {
    std::string file;
    std::string expected;  // "accept, ..." or "reject: a, b"
};

// The rows of the README's file table: | file | ... | expected |
std::vector<Verdict> corpus_verdicts()
{
    std::vector<Verdict> rows;
    std::istringstream readme(read_file(CORPUS / "README.md"));
    std::string line;
    while (std::getline(readme, line)) {
        if (line.rfind("| ", 0) != 0 || line.find(".bmp |") == std::string::npos) {
            continue;
        }
        const std::string file = line.substr(2, line.find(" |") - 2);
        std::string last = line.substr(0, line.size() - 2);
        last = last.substr(last.rfind("| ") + 2);
        rows.push_back({file, last});
    }
    return rows;
}

std::string messages_for(const std::string& verdict)
{
    static const std::map<std::string, std::string> message = {
        {"short header", "Datei zu kurz\n"},          {"typ", "typ falsch\n"},
        {"bitcnt", "bitcnt falsch\n"},                {"compression", "compression falsch\n"},
        {"size", "Bildgroesse falsch\n"},             {"data incomplete", "Bilddaten unvollstaendig\n"},
    };
    std::string out;
    std::istringstream reasons(verdict.substr(std::string("reject: ").size()));
    std::string reason;
    while (std::getline(reasons, reason, ',')) {
        out += message.at(reason.substr(reason.find_first_not_of(' ')));
    }
    return out;
}

TEST(Corpus, EveryFileGetsItsVerdict)
{
    const std::vector<Verdict> verdicts = corpus_verdicts();
    ASSERT_EQ(verdicts.size(), 88u);
    std::vector<std::string> accepted_outputs;
    for (const Verdict& v : verdicts) {
        const fs::path dir = make_temp_folder("corpus");
        const std::string bytes = read_file(CORPUS / v.file);
        ASSERT_FALSE(bytes.empty()) << v.file;
        write_file(dir / "in.bmp", bytes);
        const ToolRun run = run_tool(dir, {"in.bmp", "out.h", "img"});
        const std::string head = "oeffne Datei:in.bmp\nfilelaenge: " + std::to_string(bytes.size()) + "\n";
        if (v.expected.rfind("accept", 0) == 0) {
            EXPECT_EQ(run.out, head) << v.file;
            EXPECT_EQ(run.status, 0) << v.file;
            const std::string text = read_file(dir / "out.h");
            const TableText table = read_table_text(text);
            EXPECT_EQ(table.broken, "") << v.file;
            const std::vector<long>& values = table.values;
            ASSERT_EQ(values.size(), 8128u) << v.file;
            EXPECT_EQ(values.front(), 16711680) << v.file;
            EXPECT_EQ(values.back(), 6316158) << v.file;
            accepted_outputs.push_back(text);
        } else {
            EXPECT_EQ(run.out, head + messages_for(v.expected) + "Fehler beim lesen der Daten\n") << v.file;
            EXPECT_EQ(run.status, 28) << v.file;
            EXPECT_EQ(fs::file_size(dir / "out.h"), 0u) << v.file;
        }
        fs::remove_all(dir);
    }
    ASSERT_EQ(accepted_outputs.size(), 4u);
    for (const std::string& text : accepted_outputs) {
        EXPECT_TRUE(text == accepted_outputs.front()) << "the four accepted files hold the same picture";
    }
}

}  // namespace
