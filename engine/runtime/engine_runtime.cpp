// The engine put together: the records of the subsystems this program links,
// registered with the core; graphics shown in the engine's main window, its
// movie graphs played by the movies.
#include "engine/runtime/engine_runtime.h"

#include <iterator>

#include "engine/core/engine_subsystem.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics_host.h"
#include "engine/graphics/graphics_subsystem.h"
#include "engine/image/soft_image.h"
#include "engine/input/input.h"
#include "engine/movie/movie.h"
#include "engine/net/net.h"
#include "engine/sound/sound.h"

namespace {

// The subsystems this program links. The core runs their hooks in its own
// order, whatever the order here.
const EngineSubsystem* const kLinked[] = {
    &kGraphicsSubsystem, &kModelRuntimeSubsystem, &kFontsSubsystem, &kSoftImagesSubsystem,
    &kInputSubsystem,    &kTextInputSubsystem,    &kSoundSubsystem, &kMusicSubsystem,
    &kMoviesSubsystem,   &kSocketsSubsystem,
};

}  // namespace

void InstallEngineServices() {
  RegisterEngineSubsystems(kLinked, (int)std::size(kLinked));
  SetGraphicsHost(&kMainWindowGraphicsHost);
  SetGraphMovieSource(&kMovieGraphSource);
}
