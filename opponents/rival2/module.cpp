// rival2's tuning; its resources are embedded from rival2/res/ by the build.
#include "opponents/module.h"
#include "opponents/rival2/variant.h"

extern const OpponentVariant kModuleVariant = kRival2Variant;
