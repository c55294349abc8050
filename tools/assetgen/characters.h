// The computer opponents' character resources.
#pragma once

#include <string>

// Writes rivalN/res/{image.png,face.png,name.txt,descript.txt} for the four
// opponents under `opponents_dir` (the folders must exist). False when any
// file could not be made.
bool WriteOpponentAssets(const std::string& opponents_dir);
