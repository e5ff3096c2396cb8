#include "lzx/archive.h"

#include <string.h>

#include "lzx/hile.h"
#include "lzx/scratch.h"

namespace {

class Archive : public ScratchTest {};
class ArchiveDeathTest : public ScratchTest {};
class ListFile : public ScratchTest {};
class ListFileDeathTest : public ScratchTest {};

// The sources live in src/, the archive is a.lzx, extraction goes to out/.
std::string List(const std::string& entries) { return "a.lzx\r\nsrc\\\r\n" + entries; }

int Pack(const std::string& list, int32_t* total = nullptr, int32_t* size = nullptr, VersionRecord* table = nullptr,
         int capacity = 0) {
  PutText("list.txt", list);
  return PackLZX("list.txt", total, size, table, capacity);
}

VersionRecord Record(const char* name, int32_t size, int32_t version) {
  VersionRecord r;
  memset(&r, 0, sizeof r);
  strcpy(r.name, name);
  r.size = size;
  r.version = version;
  return r;
}

// An archive written record by record, for entries PackLZX would refuse.
void WriteArchive(const char* name, const std::vector<std::pair<Bytes, Bytes>>& entries) {
  HILE* h = Hopen(name, "wb");
  for (const auto& e : entries) {
    Hwrite(e.first.data(), (int)e.first.size(), h);
    if (!e.second.empty()) Hwrite(e.second.data(), (int)e.second.size(), h);
  }
  Hclose(h);
}

Bytes Raw(const VersionRecord& r) {
  Bytes b(VersionRecordSize);
  VersionRecordEncode(&r, b.data());
  return b;
}

TEST(VersionRecordFormat, FieldsAtTheirOffsets) {
  VersionRecord r = Record("#bin\\a.dll", 0x01020304, 101);
  r.status = 3;
  r.scrambled = -2;
  r.deleteAfter = 5;
  r.replaceOnly = 6;
  r.reserved[151] = 0xAB;
  Bytes b = Raw(r);
  EXPECT_EQ(memcmp(b.data(), "#bin\\a.dll\0", 11), 0);
  EXPECT_EQ(Bytes(b.begin() + 256, b.begin() + 280),
            (Bytes{4, 3, 2, 1, 101, 0, 0, 0, 3, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 5, 0, 0, 0, 6, 0, 0, 0}));
  EXPECT_EQ(b[431], 0xAB);
  VersionRecord back;
  EXPECT_EQ(VersionRecordDecode(b.data(), &back), 1);
  EXPECT_EQ(Raw(back), b);
  std::fill(b.begin(), b.begin() + 256, 'x');
  EXPECT_EQ(VersionRecordDecode(b.data(), &back), 0);
  EXPECT_EQ(strlen(back.name), 255u);
}

TEST(ArchiveNames, OnlyNamesInsideTheTarget) {
  for (const char* good : {"#a.txt", "#sub\\dir\\b.dll", "#a/b", "#.\\x", "#x..y", "#..x", "C:\\abs\\ok", "..\\plain"})
    EXPECT_EQ(ArchiveNameSafe(good), 1) << good;
  for (const char* bad : {"#", "#..", "#..\\x", "#a\\..\\..\\x", "#a/../x", "#\\x", "#/x", "#C:\\x", "#C:x",
                          "#a\\...\\x", "#a\\.. \\x", "#x\\.."})
    EXPECT_EQ(ArchiveNameSafe(bad), 0) << bad;
}

TEST(Scramble, FiveBytesAndSelfInverse) {
  unsigned char five[5] = {1, 2, 3, 4, 5};
  ScrambleBytes(five, 5);
  const unsigned char expected[5] = {1, 2 ^ 0xD9, 3 ^ 0x15, 4 ^ 0x3E, 5 ^ 0x7C};
  EXPECT_EQ(memcmp(five, expected, 5), 0);
  unsigned char four[4] = {1, 2, 3, 4};
  ScrambleBytes(four, 4);
  EXPECT_EQ(memcmp(four, "\1\2\3\4", 4), 0);
  Bytes data = SampleData(3001, 4), copy = data;
  ScrambleBytes(copy.data(), (int32_t)copy.size());
  EXPECT_NE(copy, data);
  EXPECT_EQ(copy[0], data[0]);
  ScrambleBytes(copy.data(), (int32_t)copy.size());
  EXPECT_EQ(copy, data);
}

TEST(ListFields, SplitAndOptions) {
  char line[] = "||file.txt|| V=101|||e=2|";
  char* fields[ListFieldsMax];
  ASSERT_EQ(ListSplit(line, fields, ListFieldsMax), 3);
  EXPECT_STREQ(fields[0], "file.txt");
  EXPECT_STREQ(fields[1], " V=101");
  EXPECT_STREQ(fields[2], "e=2");
  char bars[] = "|||";
  EXPECT_EQ(ListSplit(bars, fields, ListFieldsMax), 0);
  std::string many = "f";
  for (int i = 0; i < 47; i++) many += "|v=1";
  std::string tooMany = many + "|v=2";
  EXPECT_EQ(ListSplit(&many[0], fields, ListFieldsMax), 48);
  EXPECT_EQ(ListSplit(&tooMany[0], fields, ListFieldsMax), -1);

  EXPECT_EQ(ListNumber("  +101xyz"), 101);
  EXPECT_EQ(ListNumber("-7"), -7);
  EXPECT_EQ(ListNumber("x1"), 0);
  EXPECT_EQ(ListNumber("99999999999999"), INT32_MAX);
  EXPECT_EQ(ListNumber("-99999999999999"), INT32_MIN);
  VersionRecord r;
  memset(&r, 0, sizeof r);
  EXPECT_EQ(ListOption("\tR= 3", &r), 1);
  EXPECT_EQ(ListOption("d=1", &r), 1);
  EXPECT_EQ(ListOption("E=1", &r), 1);
  EXPECT_EQ(ListOption("v=100", &r), 1);
  EXPECT_EQ(ListOption("V=120", &r), 1);
  EXPECT_EQ(ListOption("X=1", &r), 0);
  EXPECT_EQ(ListOption("V 1", &r), 0);
  EXPECT_EQ(ListOption("  ", &r), 0);
  EXPECT_EQ(r.replaceOnly, 3);
  EXPECT_EQ(r.deleteAfter, 1);
  EXPECT_EQ(r.scrambled, 1);
  EXPECT_EQ(r.version, 120);
}

TEST_F(Archive, NoEntriesIsSixteenBytesAndUnpacksToNothing) {
  int32_t total = -1, size = -1;
  EXPECT_EQ(Pack("a.lzx\nsrc\\\n", &total, &size), 0);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(size, 16);
  EXPECT_EQ(GetFile("a.lzx").size(), 16u);
  std::filesystem::create_directory("out");
  EXPECT_EQ(UnPackLZX("a.lzx", "out", nullptr, 0, 1), 0);
  EXPECT_TRUE(std::filesystem::is_empty("out"));
  EXPECT_EQ(ArchiveCheck("a.lzx", nullptr, nullptr, nullptr), 0);
}

TEST_F(Archive, RoundTripWithListRules) {
  Bytes big = SampleData(50000, 2), small = SampleData(300, 3);
  PutFile("src/big.bin", big);
  PutFile("src/small.txt", small);
  PutFile("src/empty", Bytes());
  PutFile("other/own.dat", small);
  VersionRecord table[2];
  int32_t total = 0, size = 0;
  // CR LF and lone LF lines, blank lines, repeated separators, leading
  // blanks, any case, atoi-like numbers, the last value winning, '#' source.
  int n = Pack(List("big.bin|V=100|v=105\r\n#sub\\big.bin\r\n\r\n"
                    "small.txt||  e=+2xyz|| V=101|D=0|r=0\n#small.txt\n"
                    "empty|V=101\n#deep\\er\\empty\n"
                    "#other\\own.dat|V=300\n#own.dat\n"),
               &total, &size, table, 2);
  EXPECT_EQ(n, 4);
  EXPECT_EQ(total, 50000 + 300 + 0 + 300);
  EXPECT_EQ((size_t)size, GetFile("a.lzx").size());
  EXPECT_STREQ(table[0].name, "#sub\\big.bin");
  EXPECT_EQ(table[0].version, 105);
  EXPECT_EQ(table[0].size, 50000);
  EXPECT_EQ(table[1].scrambled, 2);
  EXPECT_EQ(table[1].version, 101);

  std::vector<std::string> seen;
  EXPECT_EQ(ArchiveCheck(
                "a.lzx", "out",
                [](const VersionRecord* r, void* c) { static_cast<std::vector<std::string>*>(c)->push_back(r->name); },
                &seen),
            4);
  EXPECT_EQ(seen, (std::vector<std::string>{"#sub\\big.bin", "#small.txt", "#deep\\er\\empty", "#own.dat"}));

  EXPECT_EQ(UnPackLZX("a.lzx", "out", nullptr, 0, 1), 0);
  EXPECT_EQ(GetFile("out/sub/big.bin"), big);
  EXPECT_EQ(GetFile("out/small.txt"), small);  // E=2: not scrambled
  EXPECT_TRUE(Exists("out/deep/er/empty"));
  EXPECT_EQ(GetFile("out/deep/er/empty").size(), 0u);
  EXPECT_EQ(GetFile("out/own.dat"), small);
  EXPECT_FALSE(Exists("out/" ArchivePartName));
  EXPECT_FALSE(Exists("out/sub/" ArchivePartName));
}

TEST_F(Archive, WithoutTableRewriteEqualDecidesOverwriting) {
  PutFile("src/f", SampleData(100, 1));
  Pack(List("f|V=101\n#f\n"));
  PutFile("out/f", Bytes{1, 2, 3});
  UnPackLZX("a.lzx", "out", nullptr, 0, 0);
  EXPECT_EQ(GetFile("out/f"), (Bytes{1, 2, 3}));
  UnPackLZX("a.lzx", "out", nullptr, 0, 1);
  EXPECT_EQ(GetFile("out/f"), SampleData(100, 1));
}

// The version-table cases of the update run.
TEST_F(Archive, VersionTable) {
  PutFile("src/eq", Bytes{'n', 'e', 'w'});
  PutFile("src/hi", Bytes{'n', 'e', 'w'});
  PutFile("src/case", Bytes{'n', 'e', 'w'});
  PutFile("src/fresh", Bytes{'n', 'e', 'w'});
  PutFile("src/ro", Bytes{'n', 'e', 'w'});
  PutFile("src/del", Bytes{'n', 'e', 'w'});
  Pack(
      List("eq|V=101\n#eq\nhi|V=101\n#hi\ncase|V=101\n#Sub\\CASE\nfresh|V=101\n#fresh\n"
           "ro|V=101|R=1\n#ro\ndel|V=101|D=1\n#del\n"));
  Bytes old = {'o', 'l', 'd'};
  for (const char* f : {"out/eq", "out/hi", "out/Sub/CASE", "out/del"}) PutFile(f, old);

  VersionRecord table[8];
  memset(table, 0, sizeof table);
  table[0] = Record("#EQ", 3, 101);
  table[1] = Record("#hi", 3, 150);
  table[2] = Record("#sub\\case", 3, 100);
  table[3] = Record("#del", 3, 200);
  table[4] = Record("#gone", 3, 100);
  table[4].status = 3;  // not in this archive: keeps its status

  UnPackLZX("a.lzx", "out", table, 8, 0);
  EXPECT_EQ(table[0].status, VersionStatusUnchanged);  // equal, rewriteEqual 0
  EXPECT_EQ(GetFile("out/eq"), old);
  EXPECT_EQ(table[1].status, VersionStatusUnchanged);  // higher in the table
  EXPECT_EQ(table[1].version, 150);
  EXPECT_EQ(GetFile("out/hi"), old);
  EXPECT_EQ(table[2].status, VersionStatusUpdated);  // names differ only in case
  EXPECT_STREQ(table[2].name, "#Sub\\CASE");
  EXPECT_EQ(table[2].version, 101);
  EXPECT_EQ(GetFile("out/Sub/CASE"), (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(table[4].status, 3);
  EXPECT_STREQ(table[5].name, "#fresh");
  EXPECT_EQ(table[5].status, VersionStatusNew);
  EXPECT_EQ(GetFile("out/fresh"), (Bytes{'n', 'e', 'w'}));
  EXPECT_STREQ(table[6].name, "#ro");  // replaceOnly on a missing target: status set, nothing written
  EXPECT_EQ(table[6].status, VersionStatusNew);
  EXPECT_FALSE(Exists("out/ro"));
  EXPECT_EQ(table[3].status, VersionStatusUnchanged);  // deleteAfter also when not written
  EXPECT_FALSE(Exists("out/del"));
  EXPECT_EQ(table[7].name[0], 0);

  UnPackLZX("a.lzx", "out", table, 8, 1);
  EXPECT_EQ(table[0].status, VersionStatusUpdated);  // equal, rewriteEqual 1
  EXPECT_EQ(GetFile("out/eq"), (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(table[1].status, VersionStatusUnchanged);
  EXPECT_EQ(table[5].status, VersionStatusUpdated);
}

TEST_F(Archive, ScrambledEntryAndVersionFile) {
  Bytes data = SampleData(1000, 8);
  PutFile("src/s", data);
  Pack(List("s|V=101|E=1\n#s\n"));
  VersionRecord table[3];
  memset(table, 0, sizeof table);
  UnPackLZX("a.lzx", "out", table, 3, 1);
  Bytes expected = data;
  ScrambleBytes(expected.data(), (int32_t)expected.size());
  EXPECT_EQ(GetFile("out/s"), expected);
  FileRec f;
  FileInit(&f, 1, "out/s");
  ScrambleFile(&f);
  EXPECT_EQ(GetFile("out/s"), data);

  EXPECT_EQ(VersionFileWrite("out/lzx.ver", table, 3), 1);
  Bytes ver = GetFile("out/lzx.ver");
  ASSERT_EQ(ver.size(), 432u);
  EXPECT_EQ(ver[264], 0);  // status cleared on disk
  EXPECT_EQ(VersionFileCount("out/lzx.ver"), 1);
  VersionRecord back[4];
  EXPECT_EQ(VersionFileRead("out/lzx.ver", back, 4), 1);
  EXPECT_STREQ(back[0].name, "#s");
  EXPECT_EQ(back[0].scrambled, 1);
  EXPECT_EQ(back[1].name[0], 0);
  EXPECT_EQ(VersionFileRead("missing.ver", back, 4), 0);
}

// A version file cut inside its last record keeps what the record still
// holds: the file it names is known at the version it had, not taken as new
// and written over a newer one.
TEST_F(Archive, PartialLastRecordOfAVersionFileIsKept) {
  VersionRecord table[2] = {Record("#a", 0, 300), Record("#b", 0, 200)};
  Bytes whole = Raw(table[0]), second = Raw(table[1]);
  whole.insert(whole.end(), second.begin(), second.begin() + 300);  // name and version of #b, cut after
  PutFile("lzx.ver", whole);
  EXPECT_EQ(VersionFileCount("lzx.ver"), 1);
  VersionRecord back[4];
  memset(back, 0x55, sizeof back);
  ASSERT_EQ(VersionFileRead("lzx.ver", back, 4), 2);
  EXPECT_STREQ(back[1].name, "#b");
  EXPECT_EQ(back[1].version, 200);
  EXPECT_EQ(back[2].name[0], 0);

  PutFile("src/b", Bytes{'n', 'e', 'w'});
  Pack(List("b|V=150\n#b\n"));
  PutFile("out/b", Bytes{'o', 'l', 'd'});
  UnPackLZX("a.lzx", "out", back, 4, 1);
  EXPECT_EQ(back[1].status, VersionStatusUnchanged);
  EXPECT_EQ(GetFile("out/b"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(VersionFileWrite("lzx.ver", back, 4), 2);
  EXPECT_EQ(GetFile("lzx.ver").size(), 2u * VersionRecordSize) << "the row is written back whole";
}

// Paths of '#' names with slashes into an absolute target directory that does
// not exist yet; under the tool's policy a plain name goes there too and must
// stay inside it.
TEST_F(ArchiveDeathTest, SlashesAbsoluteTargetsAndPlainNames) {
  Bytes data = {'x', 'y'};
  const std::string target = std::filesystem::current_path().string() + "/new/inst";
  WriteArchive("h.lzx", {{Raw(Record("#sub/deep\\b.txt", 2, 101)), data}, {Raw(Record("plain/c.txt", 2, 101)), data}});
  ArchiveSetPlainNames(ArchivePlainInside);
  EXPECT_EQ(ArchiveCheck("h.lzx", target.c_str(), nullptr, nullptr), 2);
  UnPackLZX("h.lzx", target.c_str(), nullptr, 0, 1);
  ArchiveSetPlainNames(ArchivePlainAsStored);
  EXPECT_EQ(GetFile("new/inst/sub/deep/b.txt"), data);
  EXPECT_EQ(GetFile("new/inst/plain/c.txt"), data);
  EXPECT_FALSE(std::filesystem::exists("plain"));
  std::error_code ec;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("new/inst/sub/deep", ec), {}), 1) << "no part file left";

  for (const char* name : {"../evil", "a/../../evil", "/tmp/evil", "\\evil", "C:evil"}) {
    WriteArchive("h.lzx", {{Raw(Record(name, 2, 101)), data}});
    EXPECT_EXIT(
        {
          ArchiveSetPlainNames(ArchivePlainInside);
          UnPackLZX("h.lzx", "out", nullptr, 0, 1);
        },
        testing::ExitedWithCode(2), "UnPackLZX: unsafe name")
        << name;
    EXPECT_EQ(ArchiveCheck("h.lzx", nullptr, nullptr, nullptr), 1) << "as stored, the name is no fault";
  }
  EXPECT_FALSE(std::filesystem::exists("out"));
}

// A failure in the middle of an entry leaves the old target as it was.
TEST_F(ArchiveDeathTest, TargetsAreReplacedOnlyWhenComplete) {
  Bytes data = SampleData(60000, 6);
  PutFile("src/f", data);
  Pack(List("f|V=101\n#f\n"));
  UnPackLZX("a.lzx", "out", nullptr, 0, 1);
  EXPECT_EQ(GetFile("out/f"), data);

  Bytes old = {'o', 'l', 'd'};
  PutFile("out/f", old);
  Bytes damaged = GetFile("a.lzx");
  int32_t index = damaged[4] | damaged[5] << 8 | damaged[6] << 16;
  int32_t block2 = damaged[index + 8] | damaged[index + 9] << 8 | damaged[index + 10] << 16;
  damaged[block2 + 3] = 0x40;  // bit count far beyond BitBuf
  PutFile("d.lzx", damaged);
  EXPECT_EXIT(UnPackLZX("d.lzx", "out", nullptr, 0, 1), testing::ExitedWithCode(2), "BlockUnpack: bad bit count");
  EXPECT_EQ(GetFile("out/f"), old);
  EXPECT_EXIT(ArchiveCheck("d.lzx", nullptr, nullptr, nullptr), testing::ExitedWithCode(2),
              "BlockUnpack: bad bit count");
}

TEST_F(ArchiveDeathTest, UnsafeEntriesWriteNothing) {
  Bytes data = {'x'};
  auto refused = [&](const VersionRecord& r, const Bytes& payload, const char* text) {
    WriteArchive("h.lzx", {{Raw(Record("#first", 1, 101)), data}, {Raw(r), payload}});
    EXPECT_EXIT(UnPackLZX("h.lzx", "out/t", nullptr, 0, 1), testing::ExitedWithCode(2), text) << r.name;
    EXPECT_EXIT(ArchiveCheck("h.lzx", "out/t", nullptr, nullptr), testing::ExitedWithCode(2), "ArchiveCheck") << r.name;
    // The entries before the bad one are undone with it: no trace inside
    // the target or beside it, not even the target directory it made.
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator("out", ec))
      ADD_FAILURE() << e.path().generic_string() << " left behind";
  };
  for (const char* name : {"#..\\evil", "#a\\..\\..\\evil", "#C:\\evil", "#\\evil", "#/evil", "#", "#a/../../evil"})
    refused(Record(name, 1, 101), data, "UnPackLZX: unsafe name");
  VersionRecord noNul = Record("", 1, 101);
  memset(noNul.name, 'a', sizeof noNul.name);
  refused(noNul, data, "UnPackLZX: name not terminated");
  refused(Record("#neg", -1, 101), data, "UnPackLZX: unexpected eof");
  refused(Record("#long", 5000, 101), data, "UnPackLZX: unexpected eof");
  refused(Record("#big", 0x7FFFFFFF, 101), data, "UnPackLZX: unexpected eof");
  // A target directory that leaves no room for the longest name.
  WriteArchive("h.lzx", {{Raw(Record(("#" + std::string(254, 'n')).c_str(), 1, 101)), data}});
  std::string deep = "out";
  while (deep.size() + 256 < FileNameSize) deep += "\\dddddddd";
  EXPECT_EXIT(ArchiveCheck("h.lzx", deep.c_str(), nullptr, nullptr), testing::ExitedWithCode(2),
              "ArchiveCheck: target too long");

  WriteArchive("h.lzx", {{Raw(Record("#f", 1, 101)), data}, {Bytes(100, 0), Bytes()}});
  EXPECT_EXIT(UnPackLZX("h.lzx", "out", nullptr, 0, 1), testing::ExitedWithCode(2), "UnPackLZX: target fail");
  WriteArchive("h.lzx", {{Raw(Record("#f", 1, 101)), data}});
  EXPECT_EXIT(UnPackLZX("h.lzx", nullptr, nullptr, 0, 1), testing::ExitedWithCode(2), "UnPackLZX no target");
  VersionRecord full[1] = {Record("#other", 1, 101)};
  EXPECT_EXIT(UnPackLZX("h.lzx", "out", full, 1, 1), testing::ExitedWithCode(2), "UnPackLZX too many files");
  EXPECT_EXIT(UnPackLZX("missing.lzx", "out", nullptr, 0, 1), testing::ExitedWithCode(2), "File Error");
}

TEST_F(ListFileDeathTest, RulesThatEndThePack) {
  PutFile("src/f", Bytes{1});
  auto dies = [&](const std::string& list, const char* text) {
    EXPECT_EXIT(Pack(list), testing::ExitedWithCode(2), text) << list;
  };
  dies("", "PackLZX: No first line");
  dies("a.lzx\n", "PackLZX: No base directory");
  dies(List("|||\n#f\n"), "PackLZX: No filename found");
  dies(List("f|V=101|X=1\n#f\n"), "PackLZX: Unknown option \\[X=1\\]");
  dies(List("f|V=101|  Q\n#f\n"), "PackLZX: Unknown option \\[  Q\\]");
  dies(List("f|V=99\n#f\n"), "PackLZX: Version error \\[src.f\\]");
  dies(List("f|E=1\n#f\n"), "PackLZX: Version error");
  dies(List("f|V=101\n"), "PackLZX: No first line");
  std::string fields = "f";
  for (int i = 0; i < 48; i++) fields += "|x";
  dies(List(fields + "\n#f\n"), "PackLZX: Too many fields");
  dies(List(std::string(253, 'n') + "\n#f\n"), "PackLZX: Source name too long");
  dies(List("f|V=101\n#" + std::string(128, 't') + "\n"), "PackLZX: Line too long");
  dies(List("f|V=101|" + std::string(260, ' ') + "\n#f\n"), "PackLZX: Line too long");
  dies(List("f|V=101\n#..\\f\n"), "PackLZX: Unsafe name");
  dies(List("missing|V=101\n#f\n"), "File Error");
}

TEST_F(ListFile, LongestLinesFit) {
  PutFile("src/f", Bytes{1});
  std::string target = "#" + std::string(127, 't');
  std::string entry = "f" + std::string(250, '|') + "V=101";
  EXPECT_EQ(Pack(List(entry + "\n" + target + "\n")), 1);
  EXPECT_EQ(ArchiveCheck("a.lzx", nullptr, nullptr, nullptr), 1);
}

}  // namespace
