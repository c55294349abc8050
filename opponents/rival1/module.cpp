// rival1's tuning; its resources are embedded from rival1/res/ by the build.
#include "opponents/module.h"
#include "opponents/rival1/variant.h"

extern const OpponentVariant kModuleVariant = kRival1Variant;
