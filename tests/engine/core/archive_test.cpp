// Archives written by the packer's library and read back through the file
// layer: every entry kind, names, listing, reading and seeking, the fallback
// to plain files, archives in memory, and damaged archives that must fail
// cleanly (these also run under the sanitizers).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/core/archive.h"
#include "engine/core/file.h"
#include "engine/core/lz.h"
#include "engine/core/util.h"
#include "tests/support/engine_fixture.h"
#include "tools/packer/qva_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kTime = 133000000000000000ull;  // a FILETIME in 2022

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Repetitive(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = (uint8_t)("abcabcabd"[i % 9] + (i / 500) % 3);
  return b;
}

QvaNode FileNode(const std::string& name, const Bytes& data, QvaPacking packing = QvaPacking::kSmaller) {
  QvaNode n;
  n.name = name;
  n.data = data;
  n.packing = packing;
  n.created = kTime;
  n.accessed = kTime + 10000000;
  n.written = kTime + 20000000;
  return n;
}

QvaNode Folder(const std::string& name, std::vector<QvaNode> children) {
  QvaNode n;
  n.name = name;
  n.is_directory = true;
  n.written = kTime;
  n.children = std::move(children);
  return n;
}

// images\a.png, images\sub\b.txt, images\sub\deep\c.bin, and a name whose
// second byte is the backslash code.
QvaNode SampleTree(QvaPacking packing) {
  return Folder("", {FileNode("a.png", Text("PNG bytes of a"), packing),
                     Folder("sub", {FileNode("b.txt", Repetitive(3000), packing),
                                    Folder("deep", {FileNode("c.bin", Bytes{1, 2, 3, 4, 5}, packing)})}),
                     FileNode("\x83\x5C.txt", Text("so"), packing), FileNode("empty.dat", {}, packing)});
}

Bytes Build(const QvaNode& root, int version = 2, QvaKey key = QvaKey::kFirst) {
  QvaOptions options;
  options.version = version;
  options.key = key;
  Bytes out;
  std::string error;
  EXPECT_TRUE(BuildQvaArchive(root, options, &out, &error)) << error;
  return out;
}

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

class ArchiveTest : public FileLayerTestBase {
 protected:

  void WriteArchive(const std::string& name, const Bytes& bytes) { WriteFile(name, AsString(bytes)); }

  // The whole file through the layer, or "<no file>".
  std::string ReadThroughLayer(const char* path) {
    intptr_t f = FsOpen(path);
    if (!f) return "<no file>";
    std::string out;
    char buffer[700];
    size_t n;
    while ((n = FsRead(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    EXPECT_EQ(FsEof(f), -1);
    EXPECT_EQ(FsClose(f), 0);
    return out;
  }

  std::vector<std::string> List(const char* pattern, std::vector<FileInfo>* infos = nullptr) {
    std::vector<std::string> names;
    FileInfo info;
    intptr_t find = FsFindFirst(pattern, &info);
    if (find == -1) return names;
    do {
      names.push_back(info.name);
      if (infos) infos->push_back(info);
    } while (FsFindNext(find, &info) == 0);
    EXPECT_EQ(FsFindClose(find), 0);
    return names;
  }
};

struct Kind {
  const char* what;
  int version;
  QvaPacking packing;
};

class ArchiveKindTest : public ArchiveTest, public ::testing::WithParamInterface<Kind> {};

TEST_P(ArchiveKindTest, EveryEntryReadsBackThroughTheLayer) {
  const Kind& kind = GetParam();
  WriteArchive("images.QVA", Build(SampleTree(kind.packing), kind.version));
  EXPECT_EQ(ReadThroughLayer("images\\a.png"), "PNG bytes of a");
  EXPECT_EQ(ReadThroughLayer("images\\sub\\b.txt"), AsString(Repetitive(3000)));
  EXPECT_EQ(ReadThroughLayer("images/sub/deep/c.bin"), std::string("\1\2\3\4\5"));
  EXPECT_EQ(ReadThroughLayer("images\\sub\\..\\sub\\.\\deep\\c.bin"), std::string("\1\2\3\4\5"));
  EXPECT_EQ(ReadThroughLayer("images\\\x83\x5C.txt"), "so");
  EXPECT_EQ(ReadThroughLayer("images\\empty.dat"), "");
  EXPECT_EQ(ReadThroughLayer("images\\missing.png"), "<no file>");
}

INSTANTIATE_TEST_SUITE_P(Kinds, ArchiveKindTest,
                         ::testing::Values(Kind{"v1 stored", 1, QvaPacking::kLz}, Kind{"v2 stored", 2, QvaPacking::kStored},
                                           Kind{"v2 packed", 2, QvaPacking::kLz}),
                         [](const auto& info) {
                           return std::string(info.param.version == 1 ? "V1Stored"
                                              : info.param.packing == QvaPacking::kStored ? "V2Stored"
                                                                                           : "V2Packed");
                         });

TEST_F(ArchiveTest, TheArchiveServesThePathEvenWhenAPlainFileExists) {
  WriteArchive("images.QVA", Build(SampleTree(QvaPacking::kLz)));
  WriteFile("images/a.png", "plain");
  WriteFile("sounds/a.wav", "plain sound");
  EXPECT_EQ(ReadThroughLayer("images\\a.png"), "PNG bytes of a");
  EXPECT_EQ(ReadThroughLayer("sounds\\a.wav"), "plain sound");
}

TEST_F(ArchiveTest, NamesCompareWithoutCaseForLatinLettersOnly) {
  WriteArchive("images.QVA", Build(SampleTree(QvaPacking::kLz)));
  EXPECT_EQ(ReadThroughLayer("images\\A.PNG"), "PNG bytes of a");
  EXPECT_EQ(ReadThroughLayer("IMAGES\\Sub\\B.txt"), AsString(Repetitive(3000)));
  EXPECT_EQ(ReadThroughLayer("images\\sub"), "<no file>");   // a folder is not a file
  EXPECT_EQ(ReadThroughLayer("images\\sub\\"), "<no file>");
  EXPECT_EQ(ReadThroughLayer("images\\a.png\\x"), "<no file>");  // nor is a file a folder
}

TEST_F(ArchiveTest, AnArchiveNamedInAnotherCaseIsFound) {
  WriteArchive("images.qva", Build(SampleTree(QvaPacking::kStored)));
  EXPECT_EQ(ReadThroughLayer("Images\\a.png"), "PNG bytes of a");
}

TEST_F(ArchiveTest, ANestedFolderCanBeTheArchive) {
  WriteArchive("data/images.QVA", Build(SampleTree(QvaPacking::kStored)));
  EXPECT_EQ(ReadThroughLayer("data\\images\\sub\\deep\\c.bin"), std::string("\1\2\3\4\5"));
}

TEST_F(ArchiveTest, ListingGivesDotsThenEntriesWithWrittenNames) {
  WriteArchive("images.QVA", Build(SampleTree(QvaPacking::kLz)));
  std::vector<FileInfo> infos;
  EXPECT_EQ(List("images\\*", &infos),
            (std::vector<std::string>{".", "a.png", "sub", "\x83\x5C.txt", "empty.dat"}));
  ASSERT_EQ(infos.size(), 5u);
  EXPECT_EQ(infos[0].is_directory, 1);
  EXPECT_EQ(infos[1].is_directory, 0);
  EXPECT_EQ(infos[1].size_low, 14u);
  EXPECT_EQ(infos[1].size_high, 0u);
  EXPECT_EQ(infos[2].is_directory, 1);
  DateRecord created, written;
  FILETIME t1 = {(DWORD)kTime, (DWORD)(kTime >> 32)};
  FILETIME t2 = {(DWORD)(kTime + 20000000), (DWORD)((kTime + 20000000) >> 32)};
  FileTimeToDateRecord(&t1, &created);
  FileTimeToDateRecord(&t2, &written);
  EXPECT_EQ(std::memcmp(&infos[1].created, &created, sizeof created), 0);
  EXPECT_EQ(std::memcmp(&infos[1].modified, &written, sizeof written), 0);

  EXPECT_EQ(List("images\\sub\\*"), (std::vector<std::string>{".", "..", "b.txt", "deep"}));
  EXPECT_EQ(List("images\\sub\\*.*"), (std::vector<std::string>{".", "..", "b.txt", "deep"}));
  EXPECT_EQ(List("images\\*.PNG"), (std::vector<std::string>{"a.png"}));
  EXPECT_EQ(List("images\\?.png"), (std::vector<std::string>{"a.png"}));
  EXPECT_EQ(List("images\\sub\\deep\\*.bin"), (std::vector<std::string>{"c.bin"}));
  EXPECT_EQ(List("images\\?.txt"), (std::vector<std::string>{"\x83\x5C.txt"}));  // one character
  EXPECT_TRUE(List("images\\*.jpg").empty());
  EXPECT_TRUE(List("images\\nowhere\\*").empty());
}

TEST_F(ArchiveTest, ReadsCountWholeElementsAsPlainFilesDo) {
  const Bytes ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  WriteArchive("images.QVA", Build(Folder("", {FileNode("t.bin", ten, QvaPacking::kStored)})));
  WriteFile("plain/t.bin", AsString(ten));
  for (const char* path : {"images\\t.bin", "plain\\t.bin"}) {
    intptr_t f = FsOpen(path);
    ASSERT_NE(f, 0) << path;
    uint8_t buffer[40] = {};
    EXPECT_EQ(FsRead(buffer, 4, 10, f), 2u) << path;
    EXPECT_EQ(FsTell(f), 8) << path;
    EXPECT_EQ(buffer[7], 7) << path;
    EXPECT_EQ(FsEof(f), 0) << path;
    EXPECT_EQ(FsRead(buffer, 4, 1, f), 0u) << path;
    EXPECT_EQ(FsEof(f), -1) << path;
    EXPECT_EQ(FsRead(buffer, 1, 5, f), 2u) << path;
    EXPECT_EQ(buffer[1], 9) << path;
    FsClose(f);
  }
}

TEST_F(ArchiveTest, ReadingPastTheEndAndSeeking) {
  WriteArchive("images.QVA", Build(SampleTree(QvaPacking::kLz)));
  intptr_t f = FsOpen("images\\sub\\deep\\c.bin");
  ASSERT_NE(f, 0);
  uint8_t buffer[8];
  EXPECT_EQ(FsRead(buffer, 1, 3, f), 3u);
  EXPECT_EQ(FsRead(buffer, 1, 8, f), 2u);
  EXPECT_EQ(buffer[1], 5);
  EXPECT_EQ(FsEof(f), 0);
  EXPECT_EQ(FsRead(buffer, 1, 8, f), 0u);
  EXPECT_EQ(FsEof(f), -1);

  EXPECT_EQ(FsSeek(f, -10, 0), 0);
  EXPECT_EQ(FsTell(f), 0);
  EXPECT_EQ(FsEof(f), 0);
  EXPECT_EQ(FsSeek(f, 100, 2), 0);
  EXPECT_EQ(FsTell(f), 5);
  EXPECT_EQ(FsSeek(f, -2, 1), 0);
  EXPECT_EQ(FsTell(f), 3);
  EXPECT_EQ(FsRead(buffer, 1, 1, f), 1u);
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(FsClose(f), 0);
}

TEST_F(ArchiveTest, AsynchronousOpensDeliverOnceIdle) {
  WriteArchive("images.QVA", Build(Folder("", {FileNode("s.bin", Repetitive(5000), QvaPacking::kStored),
                                               FileNode("p.bin", Repetitive(5000), QvaPacking::kLz)})));
  for (const char* path : {"images\\s.bin", "images\\p.bin"}) {
    intptr_t f = FsOpen(path, 0, 1, 1);
    ASSERT_NE(f, 0) << path;
    Bytes buffer(5000);
    EXPECT_EQ(FsRead(buffer.data(), 1, 3000, f), 3000u) << path;
    while (!FsIsIdle(f)) Sleep(0);
    EXPECT_EQ(FsRead(buffer.data() + 3000, 1, 3000, f), 2000u) << path;
    while (!FsIsIdle(f)) Sleep(0);
    EXPECT_TRUE(buffer == Repetitive(5000)) << path;
    EXPECT_EQ(FsClose(f), 0);
  }
}

TEST_F(ArchiveTest, PlainFilesServeWhenNoArchiveOpens) {
  WriteFile("images/a.png", "plain");
  EXPECT_EQ(ReadThroughLayer("images\\a.png"), "plain") << "no archive";

  Bytes good = Build(SampleTree(QvaPacking::kStored));
  Bytes wrong_key = good;
  for (auto& b : wrong_key) b ^= 0x5A;
  Bytes version4 = Build(SampleTree(QvaPacking::kStored), 4);
  const std::pair<const char*, Bytes> cases[] = {
      {"neither key", wrong_key},
      {"version 4", version4},
      {"shorter than a header", Bytes(good.begin(), good.begin() + 20)},
      {"header block cut off", Bytes(good.begin(), good.end() - 1)},
      {"empty", {}},
  };
  for (const auto& c : cases) {
    InitArchiveTable();
    WriteArchive("images.QVA", c.second);
    EXPECT_EQ(ReadThroughLayer("images\\a.png"), "plain") << c.first;
  }
}

TEST_F(ArchiveTest, TheSecondKeyOpensToo) {
  WriteArchive("images.QVA", Build(SampleTree(QvaPacking::kLz), 2, QvaKey::kSecond));
  EXPECT_EQ(ReadThroughLayer("images\\sub\\b.txt"), AsString(Repetitive(3000)));
}

TEST_F(ArchiveTest, ACachedArchiveClosedMeanwhileIsOpenedAgain) {
  WriteArchive("images.QVA", Build(SampleTree(QvaPacking::kStored)));
  EXPECT_EQ(ReadThroughLayer("images\\a.png"), "PNG bytes of a");
  CloseUnusedArchives();  // the cached slot is now empty
  EXPECT_EQ(ReadThroughLayer("images\\sub\\deep\\c.bin"), std::string("\1\2\3\4\5"));
  // Another archive takes the emptied slot behind the resolver's back: the
  // cached slot number must not hand that archive out.
  CloseUnusedArchives();
  WriteArchive("other.QVA", Build(Folder("", {FileNode("a.png", Text("other"))})));
  char other[FILE_PATH_SIZE];
  ASSERT_EQ(ResolveFullPath("other.QVA", other, sizeof other, nullptr), 0);
  int slot = OpenArchiveSlot(other, -1, 0, 0);
  ASSERT_GE(slot, 0);
  EXPECT_EQ(ReadThroughLayer("images\\a.png"), "PNG bytes of a");
  ReleaseArchiveSlot(slot);
}

TEST_F(ArchiveTest, TheLoadedModeReadsTheWholeArchiveInTheBackground) {
  WriteArchive("whole.QVA", Build(SampleTree(QvaPacking::kLz)));
  char path[FILE_PATH_SIZE];
  ASSERT_EQ(ResolveFullPath("whole.QVA", path, sizeof path, nullptr), 0);
  int slot = OpenArchiveSlot(path, -1, 1, 1);
  ASSERT_GE(slot, 0);
  ArchiveRecord* archive = GetArchiveSlotRecord(slot);
  ASSERT_NE(archive, nullptr);
  ArchiveFile file;
  ASSERT_EQ(OpenArchiveFile(&file, archive, "sub\\b.txt", 0), 0);
  EXPECT_NE(GetArchiveImage(archive), nullptr);
  Bytes data(3000);
  EXPECT_EQ(ReadArchiveFile(&file, data.data(), 4000), 3000u);
  EXPECT_TRUE(data == Repetitive(3000));
  CloseArchiveFile(&file);
  EXPECT_EQ(OpenArchiveSlot(path, slot, 0, 0), slot);  // the same path shares the slot
  ReleaseArchiveSlot(slot);
  ReleaseArchiveSlot(slot);
}

TEST_F(ArchiveTest, AnImageOpensInPlaceAndIsLeftAloneWhenRefused) {
  Bytes image = Build(SampleTree(QvaPacking::kLz));
  ArchiveRecord archive;
  ASSERT_EQ(OpenArchiveFromMemory(&archive, image.data(), (uint32_t)image.size(), nullptr), 0);
  EXPECT_EQ(GetArchiveImage(&archive), image.data());
  EXPECT_EQ(image[0], 'Q');  // deciphered in place
  uint32_t position, size;
  ASSERT_EQ(GetArchiveFileSpan(&archive, "a.png", &position, &size), 0);
  EXPECT_EQ(size, 14u);
  ArchiveFile file;
  ASSERT_EQ(OpenArchiveFile(&file, &archive, "sub\\b.txt", 0), 0);
  Bytes data(3000);
  EXPECT_EQ(ReadArchiveFile(&file, data.data(), 3000), 3000u);
  EXPECT_TRUE(data == Repetitive(3000));
  CloseArchiveFile(&file);
  CloseArchive(&archive);

  Bytes version4 = Build(SampleTree(QvaPacking::kLz), 4);
  Bytes copy = version4;
  EXPECT_EQ(OpenArchiveFromMemory(&archive, version4.data(), (uint32_t)version4.size(), nullptr), -1);
  EXPECT_TRUE(version4 == copy);
  Bytes noise(200, 0x33);
  copy = noise;
  EXPECT_EQ(OpenArchiveFromMemory(&archive, noise.data(), (uint32_t)noise.size(), nullptr), -1);
  EXPECT_TRUE(noise == copy);
}

// ---- damaged archives

struct Layout {
  uint32_t block, entries, dirs, data;
};

Layout Parse(const Bytes& plain) {
  return {ReadLe32(&plain[12]), ReadLe32(&plain[12]) + ReadLe32(&plain[16]), ReadLe32(&plain[12]) + ReadLe32(&plain[20]),
          ReadLe32(&plain[8])};
}

// Deciphers, lets `change` damage the plain bytes, enciphers again.
Bytes Damage(const Bytes& archive, const std::function<void(Bytes&, const Layout&)>& change) {
  uint8_t key[ARCHIVE_KEY_SIZE];
  MakeArchiveKey(nullptr, key);
  Bytes plain = archive;
  CipherArchiveData(plain.data(), plain.size(), 0, key);
  change(plain, Parse(plain));
  CipherArchiveData(plain.data(), plain.size(), 0, key);
  return plain;
}

// Opens the image, looks up and reads every path and lists every folder;
// returns how many files read back whole.
int Exercise(Bytes image) {
  ArchiveRecord archive;
  if (OpenArchiveFromMemory(&archive, image.data(), (uint32_t)image.size(), nullptr) != 0) return -1;
  int whole = 0;
  for (const char* path :
       {"a.png", "sub\\b.txt", "sub\\deep\\c.bin", "\x83\x5C.txt", "empty.dat", "sub\\deep\\..\\..\\a.png"}) {
    ArchiveFile file;
    if (OpenArchiveFile(&file, &archive, path, 0) != 0) continue;
    Bytes data(file.size + 1);
    if (ReadArchiveFile(&file, data.data(), file.size + 1) == file.size) ++whole;
    CloseArchiveFile(&file);
  }
  for (const char* pattern : {"*", "sub\\*", "sub\\deep\\*", "sub\\..\\sub\\deep\\..\\*"}) {
    FileInfo info;
    intptr_t find = ArchiveFindFirst(&archive, pattern, &info);
    if (find == -1) continue;
    for (int guard = 0; guard < 1000 && ArchiveFindNext(find, &info) == 0; ++guard) {
    }
    ArchiveFindClose(find);
  }
  CloseArchive(&archive);
  return whole;
}

TEST_F(ArchiveTest, DamagedTablesAndEntriesFailCleanly) {
  const Bytes good = Build(SampleTree(QvaPacking::kLz));
  ASSERT_EQ(Exercise(good), 6);
  const uint32_t esize = 44;
  struct Case {
    const char* what;
    std::function<void(Bytes&, const Layout&)> change;
    bool opens;
  } cases[] = {
      {"header block size beyond the file", [](Bytes& b, const Layout&) { WriteLe32(&b[4], 0x7FFFFFF0); }, false},
      {"header block offset beyond the file", [](Bytes& b, const Layout&) { WriteLe32(&b[12], 0xFFFFFFF0); }, false},
      {"entry table beyond the block", [](Bytes& b, const Layout&) { WriteLe32(&b[16], 0x10000); }, false},
      {"directory table beyond the block", [](Bytes& b, const Layout&) { WriteLe32(&b[20], 0x10000); }, false},
      {"directory table at the block's end", [](Bytes& b, const Layout&) { WriteLe32(&b[20], ReadLe32(&b[4])); }, false},
      {"data area beyond the file", [](Bytes& b, const Layout&) { WriteLe32(&b[8], 0xFFFFFF00); }, false},
      {"root entry count huge", [](Bytes& b, const Layout& l) { WriteLe32(&b[l.dirs + 8], 0x0FFFFFFF); }, true},
      {"root first entry beyond the table", [](Bytes& b, const Layout& l) { WriteLe32(&b[l.dirs + 12], 0xFFFFFFF0); }, true},
      {"name record offset beyond the block", [=](Bytes& b, const Layout& l) { WriteLe32(&b[l.entries], 0xFFFFFFF0); }, true},
      {"name record length beyond the block", [](Bytes& b, const Layout& l) { WriteLe16(&b[l.block], 0xFFFF); }, true},
      {"name record length 0", [](Bytes& b, const Layout& l) { WriteLe16(&b[l.block], 0); }, true},
      {"file data beyond the file", [=](Bytes& b, const Layout& l) { WriteLe32(&b[l.entries + 32], 0xFFFFFF00); }, true},
      {"file size beyond the file", [=](Bytes& b, const Layout& l) {
         WriteLe32(&b[l.entries + 40], ARCHIVE_STORED);
         WriteLe32(&b[l.entries + 36], 0xFFFFFF00);
       }, true},
      {"packed size below a header", [=](Bytes& b, const Layout& l) { WriteLe32(&b[l.entries + 40], 5); }, true},
      {"packed size beyond the file", [=](Bytes& b, const Layout& l) { WriteLe32(&b[l.entries + 40], 0xFFFFFFF0); }, true},
      {"decoded size differs from the entry", [=](Bytes& b, const Layout& l) {
         uint32_t at = l.data + ReadLe32(&b[l.entries + 32]);
         WriteLe32(&b[at], ReadLe32(&b[at]) + 100);
       }, true},
      {"entry size differs from the decoded size", [=](Bytes& b, const Layout& l) {
         WriteLe32(&b[l.entries + 36], ReadLe32(&b[l.entries + 36]) + 100);
       }, true},
      {"folder record beyond the table", [=](Bytes& b, const Layout& l) {
         WriteLe32(&b[l.entries + esize + 32], 0xFFFFFFF0);
       }, true},
      {"folder that contains itself", [=](Bytes& b, const Layout& l) {
         WriteLe32(&b[l.entries + esize + 32], 0);
       }, true},
      {"parent beyond the table", [=](Bytes& b, const Layout& l) { WriteLe32(&b[l.dirs + 16 + 4], 0x7FFFFFF0); }, true},
  };
  for (const Case& c : cases) {
    int whole = Exercise(Damage(good, c.change));
    if (c.opens)
      EXPECT_GE(whole, 0) << c.what;
    else
      EXPECT_EQ(whole, -1) << c.what;
    EXPECT_LT(whole, 6) << c.what;
  }
}

TEST_F(ArchiveTest, TruncatedAndFlippedArchivesNeverCrash) {
  const Bytes good = Build(SampleTree(QvaPacking::kLz));
  for (size_t cut = 0; cut < good.size(); cut += 3) {
    Bytes image(good.begin(), good.begin() + cut);
    EXPECT_LT(Exercise(image), 6) << "cut at " << cut;
  }
  const unsigned seed = 4417;
  std::printf("ArchiveDamageTest seed %u\n", seed);
  std::mt19937 rng(seed);
  uint8_t key[ARCHIVE_KEY_SIZE];
  MakeArchiveKey(nullptr, key);
  for (int round = 0; round < 300; ++round) {
    Bytes plain = good;
    CipherArchiveData(plain.data(), plain.size(), 0, key);
    uint32_t block = ReadLe32(&plain[12]);
    for (int flips = 0; flips < 1 + (int)(rng() % 4); ++flips) {
      size_t at = rng() % 2 ? block + rng() % (plain.size() - block) : rng() % plain.size();
      plain[at] = (uint8_t)(rng() % 3 == 0 ? 0xFF : rng());
    }
    CipherArchiveData(plain.data(), plain.size(), 0, key);
    Exercise(plain);
  }
}

TEST_F(ArchiveTest, ADamagedEntryFailsToOpenThroughTheLayer) {
  Bytes damaged = Damage(Build(SampleTree(QvaPacking::kLz)), [](Bytes& b, const Layout& l) {
    uint32_t at = l.data + ReadLe32(&b[l.entries + 32]);
    WriteLe32(&b[at], ReadLe32(&b[at]) + 1);  // a.png's decoded size no longer matches
  });
  WriteArchive("images.QVA", damaged);
  EXPECT_EQ(ReadThroughLayer("images\\a.png"), "<no file>");
  EXPECT_EQ(ReadThroughLayer("images\\sub\\deep\\c.bin"), std::string("\1\2\3\4\5"));
}

}  // namespace
