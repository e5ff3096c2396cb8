// Test support: a fresh working directory per test, and whole-file helpers.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fileio/file.h"

typedef std::vector<unsigned char> Bytes;

// Each test runs in a directory of its own under LZX_TEST_TMP, made the
// current directory, so that names stay short and relative and the temporary
// index files of the compressed file land there too. A death-test child on
// Windows runs the test again from the top, in the same directory: it must not
// empty it (the parent marks the directory as prepared in the environment the
// children inherit), and the parent must not hold a file open across a death
// test.
class ScratchTest : public testing::Test {
 protected:
  void SetUp() override {
    std::error_code ec;
    const char* root = getenv("LZX_TEST_TMP");
    std::filesystem::path base =
        root && *root ? std::filesystem::path(root) : std::filesystem::temp_directory_path(ec) / "lzx-test";
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = base / (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::create_directories(dir_, ec);
    const char* prepared = getenv("LZX_SCRATCH_PREPARED");
    if (prepared == nullptr || dir_.string() != prepared) {
      for (const auto& entry : std::filesystem::directory_iterator(dir_, ec))
        std::filesystem::remove_all(entry.path(), ec);
      static char setting[1200];
      snprintf(setting, sizeof setting, "LZX_SCRATCH_PREPARED=%s", dir_.string().c_str());
      putenv(setting);
    }
    std::filesystem::current_path(dir_, ec);
    ASSERT_FALSE(ec) << dir_;
    OpenFileReset();
  }
  // A passed test leaves nothing behind; a failed one keeps its files to be
  // looked at. Death-test children never come here: they end in the test.
  void TearDown() override {
    EXPECT_EQ(OpenFileAnyLeft(), 0) << "a file was left open";
    std::error_code ec;
    std::filesystem::current_path(dir_.parent_path(), ec);
    if (!HasFailure()) std::filesystem::remove_all(dir_, ec);
  }
  std::filesystem::path dir_;
};

inline void PutFile(const std::string& name, const Bytes& bytes) {
  std::error_code ec;
  std::filesystem::path parent = std::filesystem::path(name).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  FILE* f = fopen(name.c_str(), "wb");
  ASSERT_NE(f, nullptr) << name;
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

inline void PutText(const std::string& name, const std::string& text) {
  PutFile(name, Bytes(text.begin(), text.end()));
}

inline Bytes GetFile(const std::string& name) {
  Bytes bytes;
  FILE* f = fopen(name.c_str(), "rb");
  if (!f) return bytes;
  unsigned char piece[65536];
  size_t n;
  while ((n = fread(piece, 1, sizeof piece, f)) > 0) bytes.insert(bytes.end(), piece, piece + n);
  fclose(f);
  return bytes;
}

inline bool Exists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists(name, ec);
}

// Data that exercises every stage: text, runs, 0xFF rows (Sor), noise.
inline Bytes SampleData(size_t n, unsigned seed = 1) {
  Bytes b(n);
  uint32_t s = seed * 2654435761u + 12345;
  const char* text = "the quick brown fox jumps over the lazy dog; ";
  for (size_t i = 0; i < n; i++) {
    s = s * 1103515245u + 12345;
    size_t zone = (i / 3000) % 4;
    if (zone == 0)
      b[i] = (unsigned char)text[i % 45];
    else if (zone == 1)
      b[i] = (i / 64) % 3 ? 0xFF : (unsigned char)(i & 7);
    else if (zone == 2)
      b[i] = (unsigned char)(s >> 24);
    else
      b[i] = (unsigned char)((i / 20) & 0x0F);
  }
  return b;
}

// The Sor stage needs a row of 64 0xFF bytes in every block (the last block
// is padded with zeros): every fourth row is one.
inline Bytes SorData(size_t n, unsigned seed = 1) {
  Bytes b = SampleData(n, seed);
  for (size_t i = 64; i < n; i += 256)
    for (size_t k = i; k < i + 64 && k < n; k++) b[k] = 0xFF;
  return b;
}

inline Bytes Le32(int32_t v) {
  uint32_t u = (uint32_t)v;
  return Bytes{(unsigned char)u, (unsigned char)(u >> 8), (unsigned char)(u >> 16), (unsigned char)(u >> 24)};
}
