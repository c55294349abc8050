// rival4's tuning; its resources are embedded from rival4/res/ by the build.
#include "opponents/module.h"
#include "opponents/rival4/variant.h"

extern const OpponentVariant kModuleVariant = kRival4Variant;
