// assetgen: draws and writes the project's own assets. Its output is
// committed, so a checkout builds without running it.
//   assetgen opponents <opponents folder>   the four opponents' resources
#include <cstdio>
#include <cstring>

#include "tools/assetgen/characters.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "opponents") == 0) return WriteOpponentAssets(argv[2]) ? 0 : 1;
  std::fprintf(stderr, "usage: assetgen opponents <opponents folder>\n");
  return 2;
}
