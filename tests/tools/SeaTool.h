// The `sea` binary driven as a user would: command lines run in a fresh
// folder, with their output, exit status and the bytes they leave on disk.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "support/TestSupport.h"

namespace seatool {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// Runs `sea ARGS` in `dir`; its error output passes through the file .err there.
inline ToolRun RunSea(const fs::path& dir, const std::string& args) {
    const std::string command = "cd '" + dir.string() + "' && '" KELVARO_SEA_TOOL "' " + args + " 2>.err";
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = testsupport::ReadBytes(dir / ".err");
    return run;
}

class SeaToolTest : public ::testing::Test {
protected:
    ToolRun Sea(const std::string& args) const { return RunSea(m_dir, args); }
    void Write(const std::string& name, const std::string& bytes) const { testsupport::WriteBytes(m_dir / name, bytes); }
    std::string Read(const std::string& name) const { return testsupport::ReadBytes(m_dir / name); }

    // The files of the test folder and their bytes.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& item : fs::directory_iterator(m_dir))
            if (item.is_regular_file() && item.path().filename() != ".err")
                files[item.path().filename().string()] = Read(item.path().filename().string());
        return files;
    }

    // Runs the transcript `leaf` of tests/data/golden-sea/tool (its first
    // lines tell its form) and checks every case of it.
    void RunTranscript(const std::string& leaf);

    testsupport::ScratchDir m_scratch;
    fs::path m_dir = m_scratch.Root();
};

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// One case of a transcript.
struct ToolCase {
    std::string args;
    bool goesOn = false;  // runs in the folder the case before left
    int line = 0, status = 0;
    std::vector<std::string> out{}, contains{}, err{}, absent{};
    std::vector<std::pair<std::string, std::string>> after{};  // file, golden file ("": may change)
};

inline std::vector<ToolCase> ReadTranscript(const fs::path& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    // The tags of the lines that add to a list of the case.
    const std::map<std::string, std::vector<std::string> ToolCase::*> lists = {
        {">", &ToolCase::out}, {"~", &ToolCase::contains}, {"!", &ToolCase::err}, {"-", &ToolCase::absent}};
    std::vector<ToolCase> cases;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (line.empty() || line[0] == '#') continue;
        const std::string tag = line.substr(0, line.find(' '));
        const std::string rest = line.size() > tag.size() ? line.substr(tag.size() + 1) : "";
        if (tag == "$" || tag == "$+") {
            cases.push_back({rest, tag == "$+", n});
        } else if (cases.empty()) {
            ADD_FAILURE() << path << ":" << n << ": a line before the first case";
        } else if (tag == "?") {
            cases.back().status = std::stoi(rest);
        } else if (lists.count(tag) != 0) {
            (cases.back().*lists.at(tag)).push_back(rest);
        } else if (tag == "=") {
            const std::size_t space = rest.find(' ');
            const std::string golden = space == std::string::npos ? "" : rest.substr(space + 1);
            cases.back().after.emplace_back(rest.substr(0, space), golden);
        } else {
            ADD_FAILURE() << path << ":" << n << ": no case takes this line";
        }
    }
    return cases;
}

inline void SeaToolTest::RunTranscript(const std::string& leaf) {
    const fs::path golden = testsupport::DataDir() / "golden-sea" / "tool";
    const auto cases = ReadTranscript(golden / leaf);
    EXPECT_GE(cases.size(), 5u);
    const auto dir = [this](std::string text) {
        for (std::size_t at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}"))
            text.replace(at, 5, m_dir.string());
        return text;
    };
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(leaf + ":" + std::to_string(c.line) + ": " + c.args.substr(0, 80));
        if (!c.goesOn) {
            for (const auto& item : fs::directory_iterator(m_dir)) fs::remove_all(item.path());
            fs::copy(golden / "files", m_dir);
        }
        const auto before = Files();
        const ToolRun run = Sea(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        std::string out;
        for (const std::string& line : c.out) out += dir(line) + "\n";
        if (c.contains.empty()) {
            EXPECT_EQ(run.out, out);
        }
        for (const std::string& part : c.contains) EXPECT_TRUE(Has(run.out, dir(part))) << part << " in\n" << run.out;
        // A bare "!": no error output at all; without "!" lines, error output exactly when the run failed.
        for (const std::string& part : c.err)
            EXPECT_TRUE(part.empty() ? run.err.empty() : Has(run.err, part)) << part << " in\n" << run.err;
        if (c.err.empty()) {
            EXPECT_EQ(run.err.empty(), c.status == 0) << run.err;
        }
        auto after = Files();
        for (const auto& [file, expected] : c.after) {
            if (!expected.empty()) {
                EXPECT_EQ(after[file], testsupport::ReadBytes(golden / "after" / expected)) << file;
            }
            after[file] = before.count(file) != 0 ? before.at(file) : "";
        }
        for (const auto& [file, bytes] : before) EXPECT_EQ(after[file], bytes) << file << " changed";
        for (const std::string& file : c.absent) EXPECT_FALSE(fs::exists(m_dir / file)) << file;
    }
}

}  // namespace seatool
