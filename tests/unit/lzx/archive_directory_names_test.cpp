// Names that name a directory rather than a file: refused before any entry of
// the archive is written, since the move over a directory would fail only
// after the entries before it.
#include <string.h>

#include "lzx/archive.h"
#include "lzx/hile.h"
#include "lzx/scratch.h"

namespace {

class ArchiveDirectoryNamesDeathTest : public ScratchTest {};

void WriteEntries(const char* archive, const std::vector<std::string>& names) {
  HILE* h = Hopen(archive, "wb");
  for (const std::string& name : names) {
    VersionRecord r;
    memset(&r, 0, sizeof r);
    strcpy(r.name, name.c_str());
    r.size = 1;
    r.version = 101;
    unsigned char raw[VersionRecordSize];
    VersionRecordEncode(&r, raw);
    Hwrite(raw, VersionRecordSize, h);
    Hwrite("x", 1, h);
  }
  Hclose(h);
}

TEST(ArchiveDirectoryNames, LastComponentMustNameAFile) {
  for (const char* bad : {"#.", "#. ", "#a\\", "#a/", "#a\\.", "#.\\", "#a\\b\\"})
    EXPECT_EQ(ArchiveNameSafe(bad), 0) << bad;
  for (const char* good : {"#a", "#.\\a", "#a\\.b", "#.a", "#a."}) EXPECT_EQ(ArchiveNameSafe(good), 1) << good;
}

TEST_F(ArchiveDirectoryNamesDeathTest, ExistingDirectoryIsRefusedByTheCheck) {
  std::filesystem::create_directories("out/data");
  WriteEntries("h.lzx", {"#first", "#data"});
  EXPECT_EQ(ArchiveCheck("h.lzx", nullptr, nullptr, nullptr), 2);  // no target: nothing to compare with
  EXPECT_EXIT(ArchiveCheck("h.lzx", "out", nullptr, nullptr), testing::ExitedWithCode(2),
              "ArchiveCheck: target is a directory \\[#data\\]");
  EXPECT_EXIT(UnPackLZX("h.lzx", "out", nullptr, 0, 1), testing::ExitedWithCode(2), "UnPackLZX: target is a directory");
  EXPECT_TRUE(std::filesystem::is_directory("out/data"));
}

}  // namespace
