#pragma once
// A fresh temporary directory as the working directory for one test; the old
// working directory comes back and the directory is removed afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

class ScratchDir : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        // A directory that did not exist before: create_directory says so.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const auto candidate = std::filesystem::temp_directory_path() /
                                   ("kelvarian-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) dir_ = candidate;
        }
        ASSERT_FALSE(dir_.empty());
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    static std::string ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void WriteBytes(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // Names in the directory, to prove no temporary file was left behind.
    int EntryCount() const {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator(dir_),
                                              std::filesystem::directory_iterator()));
    }

    std::filesystem::path dir_;

  private:
    std::filesystem::path previous_;
};
