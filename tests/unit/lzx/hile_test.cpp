#include "lzx/hile.h"

#include <string.h>

#include "fatal_catch.h"
#include "lzx/fileadapt.h"
#include "lzx/scratch.h"

namespace {

class Hile : public ScratchTest {};
class HileDeathTest : public ScratchTest {};

Bytes WriteStream(const char* name, const char* mode, const Bytes& data, int* size = nullptr) {
  HILE* h = Hopen(name, mode);
  // Uneven pieces, so that writes straddle block boundaries.
  size_t at = 0, piece = 1;
  while (at < data.size()) {
    size_t n = std::min(piece, data.size() - at);
    Hwrite(data.data() + at, (int)n, h);
    at += n;
    piece = piece * 3 + 7;
  }
  int result = Hclose(h);
  if (size) *size = result;
  return GetFile(name);
}

Bytes ReadStream(const char* name) {
  HILE* h = Hopen(name, "rb");
  Bytes out(h->header.length + 100);
  int n = Hread(out.data(), (int)out.size(), h);
  EXPECT_EQ(Heof(h), 1);
  out.resize(n);
  Hclose(h);
  return out;
}

int32_t At(const Bytes& b, size_t offset) {
  return (int32_t)(b[offset] | b[offset + 1] << 8 | b[offset + 2] << 16 | (uint32_t)b[offset + 3] << 24);
}

TEST_F(Hile, WholeFileExampleByteForByte) {
  const char* text = "abracadabra";
  int size = 0;
  Bytes file = WriteStream("a.lzx", "wb", Bytes(text, text + 11), &size);
  const Bytes expected = {0x4c, 0x5a, 0x58, 0x31, 0x39, 0x00, 0x00, 0x00, 0x0b, 0x00, 0x00, 0x00, 0x00,
                          0x00, 0x00, 0x00, 0x24, 0x01, 0x00, 0x00, 0x20, 0x46, 0x01, 0x00, 0x00, 0x00,
                          0x00, 0x00, 0x00, 0x90, 0xd6, 0xaf, 0x0e, 0x50, 0xd1, 0xf1, 0xe8, 0x8f, 0xfb,
                          0xfe, 0x8c, 0x73, 0xbb, 0x6e, 0x77, 0xcf, 0xf8, 0xa3, 0xaf, 0xaf, 0xaf, 0xaf,
                          0xaf, 0xaf, 0x2f, 0xff, 0x02, 0x10, 0x00, 0x00, 0x00};
  EXPECT_EQ(size, 61);
  EXPECT_EQ(file, expected);

  HILE* h = Hopen("a.lzx", "rb");
  char back[32] = {0};
  EXPECT_EQ(Hread(back, 11, h), 11);
  EXPECT_STREQ(back, text);
  EXPECT_EQ(Heof(h), 0);
  EXPECT_EQ(Hgetc(h), -1);
  EXPECT_EQ(Heof(h), 1);
  EXPECT_EQ(Hclose(h), 0);
}

TEST_F(Hile, EmptyFileIsTheHeaderOnly) {
  int size = 0;
  Bytes file = WriteStream("e.lzx", "wb", Bytes(), &size);
  EXPECT_EQ(size, 16);
  ASSERT_EQ(file.size(), 16u);
  EXPECT_EQ(At(file, 0), 0x31585A4C);
  EXPECT_EQ(At(file, 4), 16);
  EXPECT_EQ(At(file, 8), 0);
  EXPECT_EQ(At(file, 12), 0);
  HILE* h = Hopen("e.lzx", "rb");
  char c;
  EXPECT_EQ(Hread(&c, 1, h), 0);
  EXPECT_EQ(Heof(h), 1);
  EXPECT_EQ(Hgetc(h), -1);
  Hclose(h);
}

TEST_F(Hile, BlockBoundaries) {
  for (size_t n : {16384u, 16385u}) {
    Bytes data = SampleData(n, (unsigned)n);
    int size = 0;
    Bytes file = WriteStream("b.lzx", "wb", data, &size);
    int32_t blocks = n == 16384 ? 1 : 2;
    EXPECT_EQ((size_t)size, file.size());
    EXPECT_EQ(At(file, 8), (int32_t)n);
    EXPECT_EQ(At(file, 4) + 4 * blocks, size);
    EXPECT_EQ(At(file, At(file, 4)), 16);
    EXPECT_EQ(ReadStream("b.lzx"), data);

    HILE* h = Hopen("b.lzx", "rb");
    Bytes all(n);
    EXPECT_EQ(Hread(all.data(), (int)n, h), (int)n);
    EXPECT_EQ(Heof(h), 0);
    char c;
    EXPECT_EQ(Hread(&c, 1, h), 0);
    EXPECT_EQ(Heof(h), 1);
    Hclose(h);
  }
}

TEST_F(Hile, EveryModeRoundTrips) {
  Bytes data = SorData(3 * 16384 + 999, 7);
  const char* modes[] = {"wb", "wbh", "wbs"};
  for (int flags = 0; flags < 3; flags++) {
    Bytes file = WriteStream("m.lzx", modes[flags], data);
    EXPECT_EQ(At(file, 12), flags) << modes[flags];
    EXPECT_EQ(ReadStream("m.lzx"), data) << modes[flags];
  }
}

TEST_F(Hile, PutcAndGetc) {
  HILE* w = Hopen("c.lzx", "wbs");
  for (int i = 0; i < 20000; i++)
    EXPECT_EQ(Hputc(i % 256 < 64 ? 0xFF : i * 7 + 0x100, w), i % 256 < 64 ? 0xFF : i * 7 + 0x100);
  Hclose(w);
  HILE* r = Hopen("c.lzx", "rb");
  for (int i = 0; i < 20000; i++) ASSERT_EQ(Hgetc(r), i % 256 < 64 ? 0xFF : (i * 7) & 0xFF);
  EXPECT_EQ(Hgetc(r), -1);
  EXPECT_EQ(Heof(r), 1);
  Hclose(r);
}

TEST_F(Hile, OpenRecordsAreCounted) {
  WriteStream("o.lzx", "wb", SampleData(10));
  EXPECT_EQ(HileCount(), 0);
  HILE* a = Hopen("o.lzx", "rb");
  HILE* b = Hopen("o.lzx", "rb");
  EXPECT_EQ(HileCount(), 2);
  Hclose(a);
  EXPECT_EQ(HileCount(), 1);
  OpenFileCloseAll();  // as the fatal path does before a harness takes over
  HileReleaseAll();
  EXPECT_EQ(HileCount(), 0);
  (void)b;
}

TEST_F(Hile, SeekForwardBackwardAndToTheLastByte) {
  Bytes data = SampleData(5 * 16384 + 17, 3);
  WriteStream("s.lzx", "wb", data);
  HILE* h = Hopen("s.lzx", "rb");
  int32_t length = (int32_t)data.size();
  EXPECT_EQ(Htell(h), 0);
  Hseek(h, length - 1);
  EXPECT_EQ(Htell(h), length - 1);
  EXPECT_EQ(Hgetc(h), data[length - 1]);
  EXPECT_EQ(Hgetc(h), -1);
  for (int32_t t : {70000, 16384, 16383, 0, 5, 81836, 40000, 40001, 39999}) {
    Hseek(h, t);
    unsigned char piece[100];
    int n = Hread(piece, 100, h);
    ASSERT_EQ(n, 100);
    EXPECT_EQ(memcmp(piece, data.data() + t, 100), 0) << t;
    EXPECT_EQ(Htell(h), t + 100);
  }
  Hclose(h);
}

// Whole blocks taken by one Hread are decoded into the caller's bytes; a seek
// or Hgetc afterwards must not see the stale block buffer.
TEST_F(Hile, WholeBlocksReadAtOnceThenSeekBackIntoThem) {
  Bytes data = SampleData(3 * 16384 + 500, 7);
  WriteStream("w.lzx", "wb", data);
  HILE* h = Hopen("w.lzx", "rb");
  Bytes out(data.size());
  ASSERT_EQ(Hread(out.data(), 100, h), 100);
  ASSERT_EQ(Hread(out.data() + 100, 2 * 16384, h), 2 * 16384);  // block 0's rest, block 1, part of block 2
  EXPECT_EQ(Htell(h), 100 + 2 * 16384);
  ASSERT_EQ(Hread(out.data() + 100 + 2 * 16384, (int)data.size(), h), (int)data.size() - 100 - 2 * 16384);
  EXPECT_EQ(out, data);
  for (int32_t t : {16384 + 5, 2 * 16384 + 3, 16384 + 16383, 7}) {
    Hseek(h, t);
    EXPECT_EQ(Hgetc(h), data[t]) << t;
  }
  Hseek(h, 16383);
  EXPECT_EQ(Hgetc(h), data[16383]);
  ASSERT_EQ(Hread(out.data(), 16384, h), 16384);  // block 1 straight into out
  EXPECT_EQ(memcmp(out.data(), data.data() + 16384, 16384), 0);
  Hseek(h, 16384 + 10);  // inside the block just read, which block does not hold
  EXPECT_EQ(Hgetc(h), data[16384 + 10]);
  Hseek(h, 16383);
  ASSERT_EQ(Hread(out.data(), 1 + 16384, h), 1 + 16384);
  EXPECT_EQ(Hgetc(h), data[2 * 16384]);
  Hclose(h);
}

// The reader holds the index a window at a time: reading on and seeking must
// cross the windows' edges (a block's end is the first entry of the next
// window) and still find damage in a later window.
TEST_F(HileDeathTest, IndexWindowsAcrossTheWholeFile) {
  const int32_t blocks = 2 * HileIndexHeld + 3;
  Bytes data = SampleData(blocks * 16384 - 9, 11);
  Bytes good = WriteStream("x.lzx", "wb", data);
  EXPECT_EQ(ReadStream("x.lzx"), data);
  HILE* h = Hopen("x.lzx", "rb");
  const int32_t w = HileIndexHeld;
  for (int32_t k : {blocks - 1, 0, w, w - 1, 2 * w - 2, 1, blocks - 2}) {
    int32_t t = k * 16384 + 16384 - 50;  // into the next block where there is one
    Hseek(h, t);
    unsigned char piece[100];
    int n = Hread(piece, 100, h);
    ASSERT_EQ(n, std::min(100, (int)data.size() - t)) << k;
    EXPECT_EQ(memcmp(piece, data.data() + t, n), 0) << k;
  }
  Hclose(h);
  int32_t index = At(good, 4);
  Bytes b = good;
  int32_t k = HileIndexHeld + 5;
  Bytes v = Le32(At(good, index + 4 * k) + 1);
  std::copy(v.begin(), v.end(), b.begin() + index + 4 * k);
  PutFile("d.lzx", b);
  EXPECT_EXIT(ReadStream("d.lzx"), testing::ExitedWithCode(2), "Hfill: block 68 does not end at the next");
}

// The writer holds index entries HileIndexHeld at a time: on both sides of
// that count every entry is where its block starts (a block is its bit count
// and the bytes that hold them) and the index ends the file.
TEST_F(Hile, IndexEntriesOnEitherSideOfTheHeldCount) {
  for (int32_t blocks : {(int32_t)HileIndexHeld, HileIndexHeld + 1, 2 * HileIndexHeld}) {
    Bytes data = SampleData(blocks * 16384 - 100, 3);
    Bytes file = WriteStream("i.lzx", "wb", data);
    int32_t index = At(file, 4);
    ASSERT_EQ((int64_t)file.size(), index + 4 * (int64_t)blocks) << blocks;
    int32_t at = HileHeaderSize;
    for (int32_t k = 0; k < blocks; k++) {
      ASSERT_EQ(At(file, index + 4 * k), at) << blocks << " " << k;
      at += 4 + (At(file, at) + 7) / 8;
    }
    EXPECT_EQ(at, index) << blocks;
    EXPECT_EQ(ReadStream("i.lzx"), data) << blocks;
  }
}

// Bytes that no stage compresses, the same for a seed on every platform.
Bytes Noise(size_t n, uint32_t seed) {
  Bytes b(n);
  for (unsigned char& c : b) c = (unsigned char)((seed = seed * 1103515245u + 12345) >> 24);
  return b;
}

// The reader takes the file HileAheadSize bytes at a time: blocks that
// straddle a piece's end, seeks back into the piece held and beyond it read
// the same bytes in every mode; a last block that claims more bytes than the
// file has fails as the short read of those bytes that it is.
TEST_F(HileDeathTest, ReadAheadAcrossPiecesAndPastTheEnd) {
  Bytes noise = Noise(12 * 16384 + 10, 21);
  for (const char* mode : {"wb", "wbh", "wbs"}) {
    Bytes data = mode[2] == 's' ? SorData(40 * 16384 + 200, 4) : noise;
    Bytes file = WriteStream("r.lzx", mode, data);
    ASSERT_GT(file.size(), 2u * HileAheadSize) << mode;
    EXPECT_EQ(ReadStream("r.lzx"), data) << mode;
    HILE* h = Hopen("r.lzx", "rb");
    int32_t length = (int32_t)data.size();
    for (int32_t t = length - 1; t >= 0; t -= length / 7) {
      for (int32_t u : {t, t / 3, t - 16384, t + 20000}) {
        if (u < 0 || u >= length) continue;
        Hseek(h, u);
        unsigned char piece[40000];
        int n = Hread(piece, sizeof piece, h);
        ASSERT_EQ(n, std::min((int)sizeof piece, length - u)) << mode << " " << u;
        ASSERT_EQ(memcmp(piece, data.data() + u, n), 0) << mode << " " << u;
      }
    }
    Hclose(h);
  }
  // The last block's bytes and the index: one byte short.
  Bytes good = WriteStream("g.lzx", "wb", noise);
  int32_t index = At(good, 4);
  int32_t last = At(good, index + 4 * 12);
  int32_t rest = (int32_t)good.size() - last - 4;
  Bytes v = Le32(8 * (rest + 1));
  std::copy(v.begin(), v.end(), good.begin() + last);
  PutFile("d.lzx", good);
  std::string text = "LZX DoFread failed \\[d.lzx, " + std::to_string(rest + 1) + "\\]";
  EXPECT_EXIT(ReadStream("d.lzx"), testing::ExitedWithCode(2), text);
}

// Block ends on and next to the first piece's end: four blocks, the last of
// them noise of a length that moves its end across it byte by byte.
TEST_F(Hile, BlockEndsAtTheReadAheadEdge) {
  Bytes data = Noise(4 * 16384, 5);
  const int32_t edge = HileHeaderSize + HileAheadSize;
  int near = 0;
  for (int noise = 16384; noise > 15000 && near < 12; noise--) {
    data[3 * 16384 + noise - 1] = 0;
    Bytes file = WriteStream("e.lzx", "wb", data);
    int32_t index = At(file, 4);
    int32_t end = index;  // the last block ends at the index
    if (end > edge + 6) continue;
    if (end < edge - 6) break;
    near++;
    ASSERT_EQ(ReadStream("e.lzx"), data) << end - edge;
  }
  EXPECT_EQ(near, 12);
}

TEST_F(Hile, ReadPastTheEndSetsEofAndSeekClearsIt) {
  Bytes data = SampleData(20000, 9);
  WriteStream("p.lzx", "wbh", data);
  HILE* h = Hopen("p.lzx", "rb");
  Hseek(h, 19990);
  unsigned char piece[64];
  EXPECT_EQ(Hread(piece, 64, h), 10);
  EXPECT_EQ(memcmp(piece, data.data() + 19990, 10), 0);
  EXPECT_EQ(Heof(h), 1);
  Hseek(h, 100);
  EXPECT_EQ(Heof(h), 0);
  EXPECT_EQ(Hgetc(h), data[100]);
  Hclose(h);
}

TEST_F(HileDeathTest, ModesAndNames) {
  EXPECT_EXIT(Hopen("x.lzx", "r"), testing::ExitedWithCode(2), "Hopen: bad mode");
  EXPECT_EXIT(Hopen("x.lzx", "xb"), testing::ExitedWithCode(2), "Hopen: bad mode");
  EXPECT_EXIT(Hopen("x.lzx", "wB"), testing::ExitedWithCode(2), "Hopen: bad mode");
  EXPECT_EXIT(Hopen("x.lzx", "wbz"), testing::ExitedWithCode(2), "Hopen: bad mode");
  EXPECT_EXIT(Hopen(std::string(FileNameSize, 'n').c_str(), "wb"), testing::ExitedWithCode(2),
              "Hopen: filename too long");
  PutText("plain.txt", "not compressed at all");
  EXPECT_EXIT(Hopen("plain.txt", "rb"), testing::ExitedWithCode(2), "Hopen: not an LZX file");
  EXPECT_EXIT(Hread(nullptr, 1, nullptr), testing::ExitedWithCode(2), "Hread: not a valid HILE \\*");
  FileRec f;
  EXPECT_EXIT(DoFopen("x", "a+", &f), testing::ExitedWithCode(2), "LZX DoFopen \\[x\\] \\[a\\+\\] failed");
}

// A write that ends on the fatal path leaves an existing file as it was and
// no scratch file (data or index) behind.
TEST_F(HileDeathTest, SorNeedsAnEmptyRowInEveryBlock) {
  EXPECT_EXIT(WriteStream("n.lzx", "wbs", SampleData(100)), testing::ExitedWithCode(2), "SorPack: no empty rows");
  std::error_code ec;
  EXPECT_TRUE(std::filesystem::is_empty(".", ec));
  PutFile("old.lzx", Bytes{'o', 'l', 'd'});
  EXPECT_EXIT(WriteStream("old.lzx", "wbs", SampleData(100)), testing::ExitedWithCode(2), "SorPack: no empty rows");
  EXPECT_EQ(GetFile("old.lzx"), (Bytes{'o', 'l', 'd'}));
  for (const auto& entry : std::filesystem::directory_iterator(".", ec))
    EXPECT_EQ(entry.path().filename().string(), "old.lzx");
}

TEST_F(HileDeathTest, SeekLimits) {
  WriteStream("l.lzx", "wb", SampleData(100));
  auto seek = [](const char* name, int32_t t) {
    HILE* h = Hopen(name, "rb");
    Hseek(h, t);
  };
  EXPECT_EXIT(seek("l.lzx", 100), testing::ExitedWithCode(2), "Hseek: >= EOF causes deep shit");
  EXPECT_EXIT(seek("l.lzx", -1), testing::ExitedWithCode(2), "Hseek: negative position \\[-1\\]");
  EXPECT_EXIT(Hseek(Hopen("w.lzx", "wb"), 0), testing::ExitedWithCode(2), "Hseek: not allowed on write-file");
}

// Damaged files are refused through the fatal path before any byte of them
// reaches the caller.
TEST_F(HileDeathTest, DamagedHeadersAndBlocks) {
  Bytes good = WriteStream("g.lzx", "wb", SampleData(40000, 5));
  auto patched = [&](size_t offset, int32_t value) {
    Bytes b = good;
    Bytes v = Le32(value);
    std::copy(v.begin(), v.end(), b.begin() + offset);
    PutFile("d.lzx", b);
  };
  auto read = [] {
    HILE* h = Hopen("d.lzx", "rb");
    unsigned char piece[4096];
    while (Hread(piece, sizeof piece, h) > 0) {
    }
    Hclose(h);
  };
  auto readAtOnce = [] {  // whole blocks decoded into the caller's bytes
    HILE* h = Hopen("d.lzx", "rb");
    static unsigned char all[65536];
    Hread(all, sizeof all, h);
    Hclose(h);
  };
  patched(8, -5);
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "Hopen: bad length \\[d.lzx, -5\\]");
  patched(8, 0x7FFFFFFF);
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "Hopen: bad length");
  patched(8, 50000);  // one block more than the index holds
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "Hopen: bad index offset");
  patched(4, 12);
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "Hopen: bad index offset");
  patched(4, At(good, 4) + 4);
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "Hopen: bad index offset");
  patched(12, 4);
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "Hopen: bad flags");
  patched(16, 262113);  // bit count of block 0 beyond what BitBuf holds
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "BlockUnpack: bad bit count \\[262113\\]");
  patched(16, -8);
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "BlockUnpack: bad bit count \\[-8\\]");
  EXPECT_EXIT(readAtOnce(), testing::ExitedWithCode(2), "BlockUnpack: bad bit count \\[-8\\]");
  int32_t index = At(good, 4);
  patched(index + 4, At(good, index + 4) + 1);  // block 1 is not where the index says
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "Hfill: block 0 does not end at the next");
  EXPECT_EXIT(readAtOnce(), testing::ExitedWithCode(2), "Hfill: block 0 does not end at the next");
  patched(index + 8, 3);
  EXPECT_EXIT(
      {
        HILE* h = Hopen("d.lzx", "rb");
        Hseek(h, 2 * 16384);
      },
      testing::ExitedWithCode(2), "Hseek: bad index entry 2");
  Bytes cut(good.begin(), good.end() - 1);
  PutFile("d.lzx", cut);
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "Hopen: bad index offset");
  // A writer killed before Hclose leaves its placeholder header.
  Bytes placeholder(good.begin(), good.begin() + 16);
  std::fill(placeholder.begin() + 4, placeholder.end(), 0);
  PutFile("d.lzx", placeholder);
  EXPECT_EXIT(read(), testing::ExitedWithCode(2), "Hopen: bad index offset");
}

TEST_F(HileDeathTest, ReaderAndWriterStayApart) {
  WriteStream("r.lzx", "wb", SampleData(10));
  EXPECT_EXIT(Hwrite("x", 1, Hopen("r.lzx", "rb")), testing::ExitedWithCode(2), "Hwrite: not allowed on read-file");
  char c;
  EXPECT_EXIT(Hread(&c, 1, Hopen("w.lzx", "wb")), testing::ExitedWithCode(2), "Hread: not allowed on write-file");
}

// Workers that run each slot when it is waited for, on the calling thread,
// and count how often they were started.
struct CountedWorkers {
  static int begun;
  static void (*work)(int, void*);
  static void* context;
  static void Begin(int, void (*w)(int, void*), void* c) {
    begun++;
    work = w;
    context = c;
  }
  static void Submit(int) {}
  static int Wait(int slot) {
    work(slot, context);
    return 0;
  }
};
int CountedWorkers::begun;
void (*CountedWorkers::work)(int, void*);
void* CountedWorkers::context;

TEST_F(Hile, AFileOfOneBlockNeverStartsTheWorkers) {
  static const HileWorkers workers = {2, 8, CountedWorkers::Begin, CountedWorkers::Submit, CountedWorkers::Wait};
  HileSetWorkers(&workers);
  for (size_t size : {(size_t)1, (size_t)HileBlockSize, (size_t)HileBlockSize + 1, (size_t)5 * HileBlockSize}) {
    SCOPED_TRACE(size);
    Bytes data = SampleData(size, (uint32_t)size);
    CountedWorkers::begun = 0;
    WriteStream("f.lzx", "wb", data);
    EXPECT_EQ(CountedWorkers::begun, size > HileBlockSize ? 1 : 0) << "writing";
    CountedWorkers::begun = 0;
    EXPECT_EQ(ReadStream("f.lzx"), data);
    EXPECT_EQ(CountedWorkers::begun, size > HileBlockSize ? 1 : 0) << "reading";
  }
  HileSetWorkers(nullptr);
}

// Workers that leave every slot out until it is waited for (a worker that
// has not got to it yet), and that can raise a fatal error on the calling
// thread at a given submit, as a read error of the file would while the
// blocks before it are out.
struct LazyWorkers {
  static int out, submits, failAt, outWhenShown;
  static void (*work)(int, void*);
  static void* context;
  static void Begin(int, void (*w)(int, void*), void* c) {
    work = w;
    context = c;
  }
  static void Submit(int) {
    out++;
    if (++submits == failAt) FatalMessage("Fread: read error");
  }
  static int Wait(int slot) {
    out--;
    work(slot, context);
    return 0;
  }
  static int Present(const char*) {
    outWhenShown = out;
    return 1;
  }
};
int LazyWorkers::out, LazyWorkers::submits, LazyWorkers::failAt, LazyWorkers::outWhenShown;
void (*LazyWorkers::work)(int, void*);
void* LazyWorkers::context;

bool ReadSurvives(void* into, int count, HILE* h) {
  if (setjmp(fatal_catch::Escape())) return false;
  Hread(into, count, h);
  return true;
}

// Blocks read ahead are decoded straight into the reader's bytes: pieces that
// start anywhere in a block get the same bytes, and a fatal error while such
// blocks are out waits for them before the text is shown, so that nothing
// writes into bytes the reader has given up.
TEST_F(Hile, BlocksReadAheadIntoTheReadersBytes) {
  static const HileWorkers workers = {2, 8, LazyWorkers::Begin, LazyWorkers::Submit, LazyWorkers::Wait};
  Bytes data = SampleData(40 * HileBlockSize + 500, 11);
  WriteStream("f.lzx", "wb", data);
  HileSetWorkers(&workers);
  for (int piece : {5 * HileBlockSize + 100, 2 * HileBlockSize, 64 * HileBlockSize}) {
    SCOPED_TRACE(piece);
    HILE* h = Hopen("f.lzx", "rb");
    Bytes back(data.size());
    for (size_t at = 0; at < back.size();) at += Hread(back.data() + at, piece, h);
    Hclose(h);
    EXPECT_EQ(back, data);
    EXPECT_EQ(LazyWorkers::out, 0);
  }
  {
    CatchFatal caught;
    FatalSetPresenter(LazyWorkers::Present);
    for (int failAt : {2, 9, 30}) {
      SCOPED_TRACE(failAt);
      LazyWorkers::out = LazyWorkers::submits = 0;
      LazyWorkers::failAt = failAt;
      LazyWorkers::outWhenShown = -1;
      Bytes back(data.size());
      HILE* h = Hopen("f.lzx", "rb");
      EXPECT_FALSE(ReadSurvives(back.data(), (int)back.size(), h)) << "no fatal error";
      EXPECT_EQ(LazyWorkers::outWhenShown, 0) << "blocks were out when the text was shown";
      HileReleaseAll();
    }
    LazyWorkers::failAt = 0;
  }
  EXPECT_EQ(ReadStream("f.lzx"), data);
  HileSetWorkers(nullptr);
}

}  // namespace
