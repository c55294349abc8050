// rival3's tuning; its resources are embedded from rival3/res/ by the build.
#include "opponents/module.h"
#include "opponents/rival3/variant.h"

extern const OpponentVariant kModuleVariant = kRival3Variant;
