// The soft images as the engine core sees them: every one still live is
// deleted when the engine ends.
#include "engine/core/engine_subsystem.h"
#include "engine/image/soft_image.h"

constinit const EngineSubsystem kSoftImagesSubsystem{.id = SubsystemId::SoftImages, .end = EndSoftImages};
