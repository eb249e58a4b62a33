#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace lucentor::testing {

// A fixture with a folder of its own, named by the test program and its process, removed after
// each test.
class TempFolder : public ::testing::Test {
protected:
    explicit TempFolder(const std::string& stem)
        : folder(std::filesystem::temp_directory_path() /
                 (stem + "." + std::to_string(::getpid()))) {}
    void SetUp() override { std::filesystem::create_directories(folder); }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // Writes `text` to the file `name` in the folder and returns its path.
    std::string write(const std::string& name, const std::string& text) const {
        std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::filesystem::path folder;
};

}  // namespace lucentor::testing
