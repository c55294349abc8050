// The vox-qva command: a folder with nested folders and Japanese names packs,
// lists and extracts back to the same files; bad input fails with a message.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/core/lz.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Names on disk are UTF-8 whatever the program's own text is.
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

class PackerCliTest : public TempDirTest {
 protected:
  // Runs vox-qva with `arguments`; returns its exit code and its output.
  int Run(const std::string& arguments, std::string* output = nullptr) {
    std::string command = std::string(VOX_QVA_PROGRAM) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  void MakeTree() {
    WriteFile("src/a.png", "PNG bytes");
    WriteFile("src/sub/b.txt", std::string(5000, 'b') + "end");
    WriteFile("src/sub/deep/c.bin", std::string("\0\1\2", 3));
    WriteFile("src/" + Utf8(u8"ソ.txt"), "so");
    WriteFile("src/empty.dat", "");
  }

  bool SameTree(const std::string& a, const std::string& b) {
    size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(Path(a))) {
      fs::path other = Path(b) / fs::relative(e.path(), Path(a));
      if (e.is_directory() ? !fs::is_directory(other) : ReadFile(fs::relative(e.path(), dir()).string()) !=
                                                           ReadFile(fs::relative(other, dir()).string()))
        return false;
      ++files;
    }
    size_t others = std::distance(fs::recursive_directory_iterator(Path(b)), fs::recursive_directory_iterator());
    return files == others;
  }
};

TEST_F(PackerCliTest, PacksListsAndExtractsEveryForm) {
  MakeTree();
  for (const char* options : {"--version 1", "--compress"}) {
    std::string output;
    ASSERT_EQ(Run(std::string("pack ") + options + " src out.QVA", &output), 0) << options << output;
    ASSERT_EQ(Run("list out.QVA", &output), 0) << options;
    EXPECT_NE(output.find("sub/deep/c.bin"), std::string::npos) << output;
    EXPECT_NE(output.find(Utf8(u8"ソ.txt")), std::string::npos) << output;
    EXPECT_NE(output.find("5003"), std::string::npos) << output;
    fs::remove_all(Path("dst"));
    ASSERT_EQ(Run("extract out.QVA dst", &output), 0) << options << output;
    EXPECT_TRUE(SameTree("src", "dst")) << options;
  }
}

TEST_F(PackerCliTest, PacksAFileIntoOneBlock) {
  std::string data;
  for (int i = 0; i < 2000; ++i) data += (char)("ab\x10"[i % 3] + i / 700);
  WriteFile("in.bin", data);
  ASSERT_EQ(Run("lz in.bin out.lz"), 0);
  std::string block = ReadFile("out.lz");
  std::string back(data.size(), '\0');
  EXPECT_EQ(UnpackLzData(block.data(), back.data(), block.size()), data.size());
  EXPECT_EQ(back, data);
  EXPECT_EQ(Run("lz missing.bin out.lz"), 1);
}

TEST_F(PackerCliTest, BadInputFailsWithAMessage) {
  MakeTree();
  std::string output;
  EXPECT_EQ(Run("list src/a.png", &output), 1);
  EXPECT_NE(output.find("not an archive"), std::string::npos) << output;
  EXPECT_EQ(Run("pack missing out.QVA", &output), 1);
  EXPECT_EQ(Run("pack --version 3 src out.QVA", &output), 2);
  EXPECT_EQ(Run("frobnicate", &output), 2);
  WriteFile("odd/" + Utf8(u8"\U0001F600.txt"), "no code page 932 form");
  EXPECT_EQ(Run("pack odd out.QVA", &output), 1);
  EXPECT_NE(output.find("code page 932"), std::string::npos) << output;
}

}  // namespace
