// assetgen: draws and writes the project's own assets.
//   assetgen game <run folder>             the game's pictures, sounds and
//                                          music, at build time
//   assetgen opponents <opponents folder>  the four opponents' resources,
//                                          which are committed
//   assetgen icon <file.png>               the program's icon, which the
//                                          program embeds
#include <cstdio>
#include <cstring>

#include "tools/assetgen/characters.h"
#include "tools/assetgen/game_assets.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "game") == 0) return WriteGameAssets(argv[2]) ? 0 : 1;
  if (argc == 3 && std::strcmp(argv[1], "opponents") == 0) return WriteOpponentAssets(argv[2]) ? 0 : 1;
  if (argc == 3 && std::strcmp(argv[1], "icon") == 0) return WriteProgramIcon(argv[2]) ? 0 : 1;
  std::fprintf(stderr,
               "usage: assetgen game <run folder>\n       assetgen opponents <opponents folder>\n"
               "       assetgen icon <file.png>\n");
  return 2;
}
