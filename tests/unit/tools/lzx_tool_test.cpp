#include <sys/wait.h>

#include <string>

#include "lzx/archive.h"
#include "lzx/crc32.h"
#include "lzx/scratch.h"

namespace {

class Tool : public ScratchTest {
 protected:
  // Runs the tool with output captured in files; returns its exit status.
  int Run(const std::string& args) {
    std::string cmd = std::string("'") + LZX_TOOL_PATH + "' " + args + " >out.txt 2>err.txt";
    int status = std::system(cmd.c_str());
    out_ = ToText(GetFile("out.txt"));
    err_ = ToText(GetFile("err.txt"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string ToText(const Bytes& b) { return std::string(b.begin(), b.end()); }
  std::string out_, err_;
};

TEST_F(Tool, HelpAndUsageErrors) {
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_NE(out_.find("lzx unpack ARCHIVE"), std::string::npos);
  EXPECT_EQ(Run(""), 1);
  EXPECT_NE(err_.find("usage: lzx"), std::string::npos);
  EXPECT_EQ(Run("frobnicate x"), 1);
  EXPECT_EQ(Run("pack"), 1);
  EXPECT_EQ(Run("unpack a b c"), 1);
  EXPECT_EQ(Run("unpack a --table"), 1);
  EXPECT_EQ(Run("compress --mode wbx a b"), 1);
  EXPECT_EQ(Run("list a --rewrite-equal"), 1);
  EXPECT_NE(err_.find("usage: lzx"), std::string::npos);
}

TEST_F(Tool, PackListTestUnpackWithTable) {
  Bytes a = SampleData(40000, 1), b = SampleData(10, 2);
  PutFile("src/a.bin", a);
  PutFile("src/b.txt", b);
  PutText("list.txt", "a.lzx\nsrc\\\na.bin|V=102|E=1\n#bin\\a.bin\nb.txt|V=101|r=0|D=0\n#b.txt\n");
  ASSERT_EQ(Run("pack list.txt"), 0) << err_;
  EXPECT_NE(out_.find("2 entries, 40010 bytes of data"), std::string::npos) << out_;

  ASSERT_EQ(Run("list a.lzx"), 0) << err_;
  EXPECT_NE(out_.find("#bin\\a.bin"), std::string::npos);
  EXPECT_NE(out_.find("40000  V=102 E=1 D=0 R=0"), std::string::npos) << out_;
  EXPECT_NE(out_.find("2 entries, 40010 bytes"), std::string::npos);

  ASSERT_EQ(Run("test a.lzx"), 0) << err_;
  EXPECT_EQ(out_.rfind("OK", 0), 0u);

  // A version file that knows b.txt at a higher version.
  VersionRecord table[2];
  memset(table, 0, sizeof table);
  strcpy(table[0].name, "#B.TXT");
  table[0].version = 200;
  std::filesystem::create_directory("inst");
  VersionFileWrite("inst/lzx.ver", table, 2);
  PutFile("inst/b.txt", Bytes{'o', 'l', 'd'});
  ASSERT_EQ(Run("unpack a.lzx inst --table inst/lzx.ver"), 0) << err_;
  EXPECT_NE(out_.find("new 1, updated 0, unchanged 1"), std::string::npos) << out_;
  Bytes scrambled = a;
  ScrambleBytes(scrambled.data(), (int32_t)scrambled.size());
  EXPECT_EQ(GetFile("inst/bin/a.bin"), scrambled);
  EXPECT_EQ(GetFile("inst/b.txt"), (Bytes{'o', 'l', 'd'}));
  Bytes ver = GetFile("inst/lzx.ver");
  ASSERT_EQ(ver.size(), 2u * 432);
  EXPECT_EQ(ver[264], 0);
  EXPECT_EQ(ver[432 + 264], 0);
  EXPECT_EQ(std::string((const char*)&ver[432]), "#bin\\a.bin");

  ASSERT_EQ(Run("unpack a.lzx plain --rewrite-equal"), 0) << err_;
  EXPECT_EQ(GetFile("plain/b.txt"), b);
}

// pack prints the archive's digest; test --digest holds a travelling archive to
// it, also where a flipped data bit still decodes.
TEST_F(Tool, DigestPrintedAndChecked) {
  PutFile("src/a.bin", SampleData(5000, 3));
  PutText("list.txt", "d.lzx\nsrc\\\na.bin|V=101\n#a.bin\n");
  ASSERT_EQ(Run("pack list.txt"), 0) << err_;
  char line[64];
  snprintf(line, sizeof line, "CRC-32 %08X d.lzx", (unsigned)FileCrc32("d.lzx", nullptr));
  EXPECT_NE(out_.find(line), std::string::npos) << out_;
  std::string hex(line + 7, 8);
  EXPECT_EQ(Run("test --digest " + hex + " d.lzx"), 0) << err_;
  for (char& c : hex) c = (char)tolower(c);
  EXPECT_EQ(Run("test d.lzx --digest " + hex), 0) << err_;

  Bytes bytes = GetFile("d.lzx");
  bytes[bytes.size() / 2] ^= 0x10;
  PutFile("d.lzx", bytes);
  EXPECT_EQ(Run("test --digest " + hex + " d.lzx"), 2);
  EXPECT_EQ(err_.rfind("lzx: test: CRC-32 ", 0), 0u) << err_;
  EXPECT_EQ(Run("test --digest 12345678X d.lzx"), 1);
  EXPECT_EQ(Run("test --digest"), 1);
}

TEST_F(Tool, CompressAndDecompressEveryMode) {
  Bytes data = SorData(70000, 3);
  PutFile("in.bin", data);
  for (const char* mode : {"", "--mode wb", "--mode wbh", "--mode wbs"}) {
    ASSERT_EQ(Run(std::string("compress ") + mode + " in.bin c.lzx"), 0) << err_;
    ASSERT_EQ(Run("decompress c.lzx back.bin"), 0) << err_;
    EXPECT_EQ(GetFile("back.bin"), data) << mode;
  }
}

TEST_F(Tool, DamagedArchiveIsFatalAndChangesNothing) {
  PutFile("src/f", SampleData(50000, 4));
  PutText("list.txt", "a.lzx\nsrc\\\nf|V=101\n#f\n");
  ASSERT_EQ(Run("pack list.txt"), 0) << err_;
  Bytes damaged = GetFile("a.lzx");
  damaged[damaged.size() / 2] ^= 0xFF;
  damaged[damaged.size() / 2 + 1] ^= 0x55;
  PutFile("d.lzx", damaged);
  PutFile("inst/f", Bytes{'o', 'l', 'd'});
  int status = Run("unpack d.lzx inst --rewrite-equal");
  if (status == 0) {
    EXPECT_EQ(GetFile("inst/f").size(), 50000u);  // decoded to something complete
  } else {
    EXPECT_EQ(status, 2);
    EXPECT_FALSE(err_.empty());
    EXPECT_EQ(GetFile("inst/f"), (Bytes{'o', 'l', 'd'}));
  }
  Bytes cut(damaged.begin(), damaged.begin() + 1000);
  PutFile("cut.lzx", cut);
  EXPECT_EQ(Run("test cut.lzx"), 2);
  EXPECT_NE(err_.find("Hopen: bad index offset"), std::string::npos) << err_;
  EXPECT_EQ(Run("unpack cut.lzx inst --rewrite-equal"), 2);
  EXPECT_EQ(GetFile("inst/f"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(Run("test missing.lzx"), 2);
  EXPECT_EQ(err_, "lzx: cannot open [missing.lzx]: No such file or directory (code 209)\n");
}

// An unpack is all or nothing: a target that cannot be replaced undoes the
// files before it, and an unpack that a crash interrupted is undone by the
// next one before it starts.
TEST_F(Tool, UnpackIsAllOrNothing) {
  PutFile("src/a", SampleData(30000, 1));
  PutFile("src/b", SampleData(100, 2));
  PutText("list.txt", "a.lzx\nsrc\\\na|V=101\n#a\nb|V=101\n#sub\\b\n");
  ASSERT_EQ(Run("pack list.txt"), 0) << err_;
  Bytes oldA = {'o', 'l', 'd'};
  PutFile("inst/a", oldA);
  PutFile("inst/sub/b", Bytes{'b'});
  std::filesystem::permissions("inst/sub/b", std::filesystem::perms::owner_read);
  EXPECT_EQ(Run("unpack a.lzx inst --rewrite-equal"), 2);
  EXPECT_NE(err_.find("the target directory is as it was"), std::string::npos) << err_;
  EXPECT_EQ(GetFile("inst/a"), oldA) << "the file before the refused one is undone";
  std::filesystem::permissions("inst/sub/b", std::filesystem::perms::owner_all);

  // What a crash while staging leaves: a journal and a staged file.
  PutText("inst/~lzxtx.jnl", "LZXTX1\r\nP0000 inst/a\r\n");
  PutFile("inst/~lzx0000.new", Bytes{'x'});
  ASSERT_EQ(Run("unpack a.lzx inst --table inst/lzx.ver"), 0) << err_;
  EXPECT_NE(err_.find("interrupted unpack into inst was undone"), std::string::npos) << err_;
  EXPECT_EQ(GetFile("inst/a"), GetFile("src/a"));
  EXPECT_FALSE(Exists("inst/~lzx0000.new"));
  EXPECT_FALSE(Exists("inst/~lzxtx.jnl"));
}

}  // namespace
