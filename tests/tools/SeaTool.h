// The `sea` binary driven as a user would: command lines run in a fresh
// folder, with their output, exit status and the bytes they leave on disk.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/wait.h>

namespace seatool {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

class SeaToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        m_dir = fs::temp_directory_path() / ("kelvaro-seatool-" + std::to_string(random()));
        ASSERT_TRUE(fs::create_directory(m_dir));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // Runs `sea ARGS` in the test folder.
    ToolRun Sea(const std::string& args) const {
        const std::string command = "cd '" + m_dir.string() + "' && '" KELVARO_SEA_TOOL "' " + args + " 2>.err";
        ToolRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return run;
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
        const int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.err = Read(".err");
        return run;
    }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(m_dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path m_dir;
};

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

}  // namespace seatool
