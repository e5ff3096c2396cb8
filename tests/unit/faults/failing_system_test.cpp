// A failing system under an update: a full disk at every stage of the run,
// a move of the commit that fails, a read-only target. Each ends through the
// fatal path with the installation exactly as it was: the transaction undoes
// everything before the message.
#include <string.h>

#include "base/block.h"
#include "faults/fault_seam.h"
#include "fileio/transaction.h"
#include "lzx/archive.h"
#include "lzx/scratch.h"
#include "lzx/versionrec.h"

namespace {

class FailingSystemDeathTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    FaultWriteBudget = -1;
    FaultMoveBudget = -1;
    PutFile("src/a.exe", SampleData(50000, 1));
    PutFile("src/b.dat", SampleData(9000, 2));
    PutFile("src/c.txt", SampleData(20000, 3));
    PutText("list.txt",
            "a.lzx\nsrc\\\n"
            "a.exe|V=101\n#a.exe\n"
            "b.dat|V=101|E=1\n#sub\\b.dat\n"
            "c.txt|V=101\n#c.txt\n");
    PackLZX("list.txt", nullptr, nullptr, nullptr, 0);
    // The complete result, once, from a clean installation.
    Install();
    Update();
    for (const char* f : Files) fresh_.push_back(GetFile(std::string("inst/") + f));
    freshVer_ = GetFile("inst/lzx.ver");
    Install();
  }

  // An installation of older files, all known to its version file.
  void Install() {
    std::error_code ec;
    std::filesystem::remove_all("inst", ec);
    old_.clear();
    for (int i = 0; i < 3; i++) {
      old_.push_back(SampleData(1000 + i, 9 + i));
      PutFile(std::string("inst/") + Files[i], old_.back());
    }
    VersionRecord table[4];
    memset(table, 0, sizeof table);
    const char* names[] = {"#a.exe", "#sub\\b.dat", "#c.txt"};
    for (int i = 0; i < 3; i++) {
      strcpy(table[i].name, names[i]);
      table[i].version = 100;
    }
    VersionFileWrite("inst/lzx.ver", table, 4);
    oldVer_ = GetFile("inst/lzx.ver");
  }

  // The update run as its owner makes it: check the archive whole, then one
  // transaction for the files and the version file.
  static void Update() {
    ArchiveCheck("a.lzx", "inst", nullptr, nullptr);
    int capacity = VersionFileCount("inst/lzx.ver") + 10;
    VersionRecord* table = (VersionRecord*)BlockAlloc(capacity * (int)sizeof(VersionRecord));
    VersionFileRead("inst/lzx.ver", table, capacity);
    TxBegin("inst");
    UnPackLZX("a.lzx", "inst", table, capacity, 1);
    VersionFileWrite("inst/lzx.ver", table, capacity);
    TxCommit();
    TxEnd();
    BlockFree(table);
  }

  // The old installation exactly: its files, its version file, nothing else.
  void ExpectIntact(const std::string& when) {
    for (int i = 0; i < 3; i++)
      EXPECT_TRUE(GetFile(std::string("inst/") + Files[i]) == old_[i]) << when << ": " << Files[i];
    EXPECT_TRUE(GetFile("inst/lzx.ver") == oldVer_) << when << ": lzx.ver";
    int entries = 0;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator("inst", ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      entries++;
    EXPECT_EQ(entries, 5) << when << ": three files, sub and lzx.ver, nothing left beside them";
  }

  static constexpr const char* Files[3] = {"a.exe", "sub/b.dat", "c.txt"};
  std::vector<Bytes> old_, fresh_;
  Bytes oldVer_, freshVer_;
};

TEST_F(FailingSystemDeathTest, FullDiskAtEveryStage) {
  ASSERT_NE(fresh_[0], old_[0]);
  FaultBytesWritten = 0;
  Update();
  int64_t total = FaultBytesWritten;
  Install();
  // Spread over the run: inside each target, inside the scrambled one, in
  // the version file.
  for (int i = 0; i < 24; i++) {
    int64_t budget = total * i / 24;
    EXPECT_EXIT(
        {
          FaultWriteBudget = budget;
          Update();
        },
        testing::ExitedWithCode(2), "File Error : name = \\[.*\\] code = 205")
        << "budget " << budget;
    ExpectIntact("disk full after " + std::to_string(budget) + " bytes");
  }
}

TEST_F(FailingSystemDeathTest, FailingMoveKeepsTheTarget) {
  for (int moves = 0; moves < 7; moves++) {  // 3 files and lzx.ver, each moved aside and in
    EXPECT_EXIT(
        {
          FaultMoveBudget = moves;
          Update();
        },
        testing::ExitedWithCode(2), "code = 204");
    ExpectIntact("move " + std::to_string(moves) + " failed");
  }
}

TEST_F(FailingSystemDeathTest, ReadOnlyTargetIsRefusedAndKept) {
  std::filesystem::permissions("inst/c.txt", std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                                 std::filesystem::perms::others_read);
  EXPECT_EXIT(Update(), testing::ExitedWithCode(2), "name = \\[inst.c\\.txt\\] code = 206");
  ExpectIntact("read-only c.txt");
  EXPECT_EQ(GetFile("inst/c.txt"), old_[2]);
  EXPECT_EQ(GetFile("inst/lzx.ver"), oldVer_);
  std::filesystem::permissions("inst/c.txt", std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}

}  // namespace
