#pragma once

// The command line run in this process with its output streams captured in files of a temporary
// folder; a test fixture's base.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/ombrel/OmbrelCommand.h"
#include "tests/support/TestSupport.h"

namespace ombrel::test {

// What every message of the command line begins with on its error stream.
inline const std::string kMessageTitle = "Feldrin Software Ombrel: ";

class OmbrelStreamsTest : public ::testing::Test {
protected:
    void SetUp() override { Reopen(); }
    void TearDown() override {
        std::fclose(out_);
        std::fclose(err_);
    }

    // Fresh, empty output streams for the next run.
    void Reopen() {
        if (out_ != nullptr) std::fclose(out_);
        if (err_ != nullptr) std::fclose(err_);
        out_ = std::fopen(root_.File("out.txt").c_str(), "w+");
        err_ = std::fopen(root_.File("err.txt").c_str(), "w+");
        environment_.out = out_;
        environment_.err = err_;
    }

    // "ombrel" and then the arguments; the command's exit status.
    int RunCommand(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "ombrel");
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        return RunOmbrel(static_cast<int>(arguments.size()), argv.data(), environment_);
    }

    std::string Out() const {
        std::fflush(out_);
        return ReadFileText(root_.File("out.txt"));
    }
    std::string Err() const {
        std::fflush(err_);
        return ReadFileText(root_.File("err.txt"));
    }

    // The names in the temporary folder, sorted: a failed command must leave them as they were.
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(root_.Path()))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir root_;
    OmbrelEnvironment environment_;
    std::FILE* out_ = nullptr;
    std::FILE* err_ = nullptr;
};

}  // namespace ombrel::test
