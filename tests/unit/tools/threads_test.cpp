// The tool with -T N: the same compressed file or archive, the same bytes
// and files back, the same test result and, for a damaged file, the same
// fatal text once, whatever N.
#include <sys/wait.h>

#include <string>
#include <vector>

#include "lzx/archive.h"
#include "lzx/scratch.h"

namespace {

class Threads : public ScratchTest {
 protected:
  int Run(const std::string& args) {
    // As many threads as asked for, also more than this machine has cores.
    std::string cmd = std::string("LZX_CORES=64 '") + LZX_TOOL_PATH + "' " + args + " >out.txt 2>err.txt";
    int status = std::system(cmd.c_str());
    Bytes e = GetFile("err.txt");
    err_.assign(e.begin(), e.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string err_;
};

const int Counts[] = {1, 2, 3, 8};

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

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

// Copies of a good compressed file with blocks or index entries damaged:
// bits flipped early and late, a bit count beyond any block, index entries
// that point elsewhere, and two damaged blocks (the first is reported).
std::vector<Bytes> Damaged(const Bytes& good) {
  auto le32 = [&](size_t at) {
    return (int32_t)(good[at] | good[at + 1] << 8 | good[at + 2] << 16 | good[at + 3] << 24);
  };
  int32_t indexOffset = le32(4);
  int32_t blocks = (int32_t)(good.size() - indexOffset) / 4;
  auto entry = [&](int k) { return le32(indexOffset + 4 * k); };
  auto end = [&](int k) { return k + 1 < blocks ? entry(k + 1) : indexOffset; };
  std::vector<Bytes> damaged;
  for (int k : {0, blocks / 6, blocks / 2, blocks - 1}) {
    Bytes d = good;
    for (int i = 0; i < 40 && entry(k) + 8 + 7 * i < end(k); i++) d[entry(k) + 8 + 7 * i] ^= (unsigned char)(0x5A + i);
    damaged.push_back(d);
  }
  {
    Bytes d = good;
    d[entry(blocks / 3) + 3] = 0x40;
    damaged.push_back(d);
  }
  for (int k : {0, blocks / 2}) {
    Bytes d = good;
    d[indexOffset + 4 * k] += 3;
    damaged.push_back(d);
  }
  {
    Bytes d = good;
    d[entry(2 * blocks / 3) + 10] ^= 0xFF;
    d[entry(blocks / 7) + 4] ^= 0x81;
    damaged.push_back(d);
  }
  return damaged;
}

TEST_F(Threads, DamagedFileGivesOneFatalTextForEveryCount) {
  PutFile("in.bin", SampleData(30 * 16384 + 100, 8));
  ASSERT_EQ(Run("compress -T 1 in.bin good.lzx"), 0) << err_;
  std::vector<Bytes> damaged = Damaged(GetFile("good.lzx"));
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

// An archive of entries of every kind, packed, listed, tested and unpacked
// on every count: one archive, one listing, the same files.
TEST_F(Threads, EveryCountPacksTheSameArchiveAndUnpacksIt) {
  std::vector<Bytes> files = {
      Bytes(),
      SampleData(1),
      SampleData(16384 - 432, 2),  // the record and the file fill one block
      SampleData(40 * 16384 + 77, 4),
      SorData(21 * 16384 + 300, 6),
      Noise(19 * 16384 + 1000, 7),
      Bytes(12 * 16384, 0),
  };
  uint32_t s = 7;
  for (int i = 0; i < 6; i++) {  // random lengths of mixed data
    s = s * 1103515245u + 12345;
    files.push_back(SampleData(s % (9 * 16384), s));
  }
  std::string list = "one.lzx\nsrc/\n";
  for (size_t i = 0; i < files.size(); i++) {
    std::string name = "f" + std::to_string(i);
    PutFile("src/" + name, files[i]);
    list += name + (i == 3 ? "|V=101|E=1" : "|V=101") + "\n#d" + std::to_string(i % 3) + "\\" + name + "\n";
  }
  PutText("list.txt", list);
  ASSERT_EQ(Run("pack -T 1 list.txt"), 0) << err_;
  Bytes one = GetFile("one.lzx");
  ASSERT_EQ(Run("list -T 1 one.lzx"), 0) << err_;
  Bytes listing = GetFile("out.txt");
  for (int t : Counts) {
    SCOPED_TRACE(testing::Message() << "-T " << t);
    std::string T = " -T " + std::to_string(t) + " ";
    std::filesystem::remove("one.lzx");
    ASSERT_EQ(Run("pack" + T + "list.txt"), 0) << err_;
    EXPECT_EQ(GetFile("one.lzx"), one);
    ASSERT_EQ(Run("test" + T + "one.lzx"), 0) << err_;
    EXPECT_EQ(GetFile("out.txt"), ToBytes("OK (" + std::to_string(files.size()) + " entries)\n"));
    ASSERT_EQ(Run("list" + T + "one.lzx"), 0) << err_;
    EXPECT_EQ(GetFile("out.txt"), listing);
    std::string dir = "out" + std::to_string(t);
    ASSERT_EQ(Run("unpack" + T + "one.lzx " + dir), 0) << err_;
    for (size_t i = 0; i < files.size(); i++) {
      Bytes want = files[i];
      if (i == 3) ScrambleBytes(want.data(), (int32_t)want.size());
      EXPECT_EQ(GetFile(dir + "/d" + std::to_string(i % 3) + "/f" + std::to_string(i)), want) << "entry " << i;
    }
  }
}

// A damaged archive: test and unpack say the same for every count, and the
// unpack leaves the target as it was.
TEST_F(Threads, DamagedArchiveGivesOneFatalTextForEveryCount) {
  PutFile("src/a", SampleData(25 * 16384 + 50, 11));
  PutFile("src/b", SorData(8 * 16384, 12));
  PutText("list.txt", "good.lzx\nsrc/\na|V=101\n#a\nb|V=101\n#b\n");
  ASSERT_EQ(Run("pack -T 1 list.txt"), 0) << err_;
  std::vector<Bytes> damaged = Damaged(GetFile("good.lzx"));
  PutFile("inst/a", ToBytes("old"));
  int fatal = 0;
  for (size_t i = 0; i < damaged.size(); i++) {
    SCOPED_TRACE(testing::Message() << "damage " << i);
    PutFile("bad.lzx", damaged[i]);
    for (const char* command : {"test", "unpack"}) {
      std::string args = std::string(command) == "test" ? " bad.lzx" : " bad.lzx inst --rewrite-equal";
      std::string first;
      int firstStatus = -1;
      for (int t : Counts) {
        int status = Run(std::string(command) + " -T " + std::to_string(t) + args);
        if (status == 2) {
          // The cause in one line; an unpack adds the line that it was undone.
          std::string undone = "lzx: the unpack was undone: the target directory is as it was\n";
          std::string cause = err_;
          if (std::string(command) == "unpack") {
            EXPECT_TRUE(cause.size() > undone.size() &&
                        cause.compare(cause.size() - undone.size(), undone.size(), undone) == 0)
                << err_;
            cause.resize(cause.size() - undone.size());
          }
          EXPECT_EQ(cause.find('\n'), cause.size() - 1) << "one line: " << err_;
        }
        if (t == 1) {
          first = err_;
          firstStatus = status;
          fatal += status == 2;
        } else {
          EXPECT_EQ(status, firstStatus) << command << " -T " << t;
          EXPECT_EQ(err_, first) << command << " -T " << t;
        }
        // Damage that still decodes is unpacked alike; the rest changes nothing.
        if (status != 0) {
          EXPECT_EQ(GetFile("inst/a"), ToBytes("old"));
        }
        PutFile("inst/a", ToBytes("old"));
      }
    }
  }
  EXPECT_GE(fatal, 10) << "most of the damage is found";
}

TEST_F(Threads, CountIsChecked) {
  EXPECT_EQ(Run("compress -T 0 a b"), 1);
  EXPECT_EQ(Run("decompress -T 65 a b"), 1);
  EXPECT_EQ(Run("decompress a b -T"), 1);
  EXPECT_EQ(Run("compress -T 2x a b"), 1);
  EXPECT_EQ(Run("pack -T 0 list.txt"), 1);
  EXPECT_EQ(Run("unpack a.lzx -T 100"), 1);
}

}  // namespace
