// What each plug-in module supplies to the shared exports: its variant. Its
// resource files are embedded at build time from rivalN/res/, together with
// their exported lookup (vox_embed_resources).
#pragma once

#include "opponents/opponent.h"

extern const OpponentVariant kModuleVariant;
