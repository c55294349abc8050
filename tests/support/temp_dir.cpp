#include "tests/support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

void TempDirTest::SetUp() {
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd)) previous_dir_ = cwd;
  std::string templ = (std::filesystem::temp_directory_path() / "voxtest-XXXXXX").string();
  char* made = mkdtemp(templ.data());
  ASSERT_NE(made, nullptr);
  dir_ = made;
  ASSERT_EQ(chdir(dir_.c_str()), 0);
}

void TempDirTest::TearDown() {
  if (!previous_dir_.empty() && chdir(previous_dir_.c_str()) != 0) ADD_FAILURE() << "chdir back";
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

void TempDirTest::WriteFile(const std::string& name, const std::string& bytes) const {
  std::filesystem::path p = Path(name);
  std::filesystem::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary);
  f.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string TempDirTest::ReadFile(const std::string& name) const {
  std::ifstream f(Path(name), std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string SourceDir() {
  const char* d = std::getenv("VOX_SOURCE_DIR");
  return d ? d : VOX_SOURCE_DIR;
}
