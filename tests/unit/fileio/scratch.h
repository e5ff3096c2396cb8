// A fresh scratch directory per test and process, made the current directory,
// so that tests name their files relatively and with backslashes on both
// platforms. A Windows death test reruns its test in a child process, which
// then gets a directory of its own.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "fileio/file.h"

class Scratch : public testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    std::error_code ec;
    const char* root = getenv("LZX_TEST_TMP");
    fs::path base = root && *root ? fs::path(root) : fs::temp_directory_path(ec) / "lzx-test";
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::random_device random;
    dir_ =
        base / "fileio" / (std::string(info->test_suite_name()) + "." + info->name() + "." + std::to_string(random()));
    fs::create_directories(dir_, ec);
    ASSERT_FALSE(ec) << dir_.string() << ": " << ec.message();
    saved_ = fs::current_path(ec);
    fs::current_path(dir_, ec);
    ASSERT_FALSE(ec) << ec.message();
    OpenFileReset();
  }

  void TearDown() override {
    namespace fs = std::filesystem;
    std::error_code ec;
    EXPECT_EQ(OpenFileAnyLeft(), 0) << "a test left a file open";
    OpenFileCloseAll();
    fs::current_path(saved_, ec);
    // This test's directory and those that its death-test children left
    // behind on Windows: they are named alike.
    const std::string prefix = dir_.filename().string().substr(0, dir_.filename().string().rfind('.') + 1);
    std::error_code walk;
    for (auto it = fs::directory_iterator(dir_.parent_path(), walk); !walk && it != fs::directory_iterator();
         it.increment(walk))
      if (it->path().filename().string().rfind(prefix, 0) == 0) RemoveTree(it->path());
  }

  static void RemoveTree(const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    std::error_code ec, walk;
    // Read-only files would stop the removal on Windows.
    for (auto it = fs::recursive_directory_iterator(dir, walk); !walk && it != fs::recursive_directory_iterator();
         it.increment(walk))
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
  }

  // Writes bytes to a file named with backslashes, without the file layer.
  static void Put(const char* name, const std::string& bytes) {
    FILE* f = fopen(Native(name).c_str(), "wb");
    ASSERT_TRUE(f) << name;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }

  static std::string Get(const char* name) {
    std::string bytes;
    FILE* f = fopen(Native(name).c_str(), "rb");
    if (!f) return "<missing>";
    char chunk[512];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    fclose(f);
    return bytes;
  }

  static bool Exists(const char* name) {
    std::error_code ec;
    return std::filesystem::exists(Native(name), ec);
  }
  static void MakeDir(const char* name) {
    std::error_code ec;
    std::filesystem::create_directories(Native(name), ec);
    ASSERT_FALSE(ec) << name;
  }

  // Both platforms take '/' in their C runtime.
  static std::string Native(const char* name) {
    std::string path(name);
    for (char& c : path)
      if (c == '\\') c = '/';
    return path;
  }

  std::filesystem::path dir_, saved_;
};
