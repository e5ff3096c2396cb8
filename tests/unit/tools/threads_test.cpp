// lzx compress and decompress with -T N: the same file, the same bytes back
// and, for a damaged file, the same fatal text once, whatever N.
#include <sys/wait.h>

#include <string>

#include "lzx/scratch.h"

namespace {

class Threads : public ScratchTest {
 protected:
  int Run(const std::string& args) {
    std::string cmd = std::string("'") + LZX_TOOL_PATH + "' " + args + " >out.txt 2>err.txt";
    int status = std::system(cmd.c_str());
    Bytes e = GetFile("err.txt");
    err_.assign(e.begin(), e.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string err_;
};

const int Counts[] = {1, 2, 3, 8};

Bytes Noise(size_t n, uint32_t s) {
  Bytes b(n);
  for (auto& c : b) c = (unsigned char)((s = s * 1103515245u + 12345) >> 24);
  return b;
}

TEST_F(Threads, EveryCountWritesTheSameFileAndReadsItBack) {
  struct Case {
    Bytes data;
    const char* mode;
  } cases[] = {
      {Bytes(), "wb"},
      {SampleData(1), "wb"},
      {SampleData(16384, 2), "wb"},
      {SampleData(16385, 3), "wbh"},
      {SampleData(40 * 16384 + 77, 4), "wb"},
      {SampleData(33 * 16384, 5), "wbh"},
      {SorData(21 * 16384 + 300, 6), "wbs"},
      {Noise(19 * 16384 + 1000, 7), "wb"},
      {Bytes(12 * 16384, 0), "wb"},
  };
  // Random streams: random lengths of mixed data.
  uint32_t s = 99;
  Bytes random[4];
  for (auto& r : random) {
    s = s * 1103515245u + 12345;
    r = SampleData(s % (30 * 16384), s);
  }
  int n = 0;
  auto check = [&](const Bytes& data, const char* mode) {
    SCOPED_TRACE(testing::Message() << "case " << n++ << ", " << data.size() << " bytes, " << mode);
    PutFile("in.bin", data);
    ASSERT_EQ(Run(std::string("compress -T 1 --mode ") + mode + " in.bin one.lzx"), 0) << err_;
    Bytes one = GetFile("one.lzx");
    for (int t : Counts) {
      std::string T = " -T " + std::to_string(t);
      ASSERT_EQ(Run("compress" + T + " --mode " + mode + " in.bin t.lzx"), 0) << t << err_;
      EXPECT_EQ(GetFile("t.lzx"), one) << "compress -T " << t;
      ASSERT_EQ(Run("decompress" + T + " one.lzx out.bin"), 0) << t << err_;
      EXPECT_EQ(GetFile("out.bin"), data) << "decompress -T " << t;
    }
  };
  for (auto& c : cases) check(c.data, c.mode);
  for (auto& r : random) check(r, "wb");
}

TEST_F(Threads, DamagedFileGivesOneFatalTextForEveryCount) {
  PutFile("in.bin", SampleData(30 * 16384 + 100, 8));
  ASSERT_EQ(Run("compress -T 1 in.bin good.lzx"), 0) << err_;
  Bytes good = GetFile("good.lzx");
  int32_t indexOffset = good[4] | good[5] << 8 | good[6] << 16 | good[7] << 24;
  auto entry = [&](int k) {
    size_t at = indexOffset + 4 * k;
    return (int32_t)(good[at] | good[at + 1] << 8 | good[at + 2] << 16 | good[at + 3] << 24);
  };
  std::vector<Bytes> damaged;
  for (int k : {0, 5, 17, 30}) {  // bits flipped inside a block, early and late
    Bytes d = good;
    int32_t end = k < 30 ? entry(k + 1) : indexOffset;
    for (int i = 0; i < 40 && entry(k) + 8 + 7 * i < end; i++) d[entry(k) + 8 + 7 * i] ^= (unsigned char)(0x5A + i);
    damaged.push_back(d);
  }
  {
    Bytes d = good;  // a bit count beyond any block
    d[entry(9) + 3] = 0x40;
    damaged.push_back(d);
  }
  for (int k : {0, 12}) {  // index entries that point elsewhere
    Bytes d = good;
    d[indexOffset + 4 * k] += 3;
    damaged.push_back(d);
  }
  {
    Bytes d = good;  // two damaged blocks: the first is reported
    d[entry(20) + 10] ^= 0xFF;
    d[entry(4) + 4] ^= 0x81;
    damaged.push_back(d);
  }
  for (size_t i = 0; i < damaged.size(); i++) {
    SCOPED_TRACE(testing::Message() << "damage " << i);
    PutFile("bad.lzx", damaged[i]);
    std::string first;
    for (int t : Counts) {
      int status = Run("decompress -T " + std::to_string(t) + " bad.lzx out.bin");
      // Damage may also decode to other bytes without a complaint; then every
      // count must deliver the same bytes.
      if (t == 1) {
        first = err_;
        if (status == 0) first = std::string(GetFile("out.bin").begin(), GetFile("out.bin").end());
        continue;
      }
      if (status == 0) {
        Bytes out = GetFile("out.bin");
        EXPECT_EQ(std::string(out.begin(), out.end()), first) << t;
        continue;
      }
      EXPECT_EQ(status, 2) << t;
      EXPECT_EQ(err_, first) << "-T " << t;
      EXPECT_EQ(err_.find('\n'), err_.size() - 1) << "one line: " << err_;
    }
  }
}

TEST_F(Threads, CountIsChecked) {
  EXPECT_EQ(Run("compress -T 0 a b"), 1);
  EXPECT_EQ(Run("decompress -T 65 a b"), 1);
  EXPECT_EQ(Run("decompress a b -T"), 1);
  EXPECT_EQ(Run("compress -T 2x a b"), 1);
}

}  // namespace
