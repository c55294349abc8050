// Connects the engine's subsystems: registers the record of each with the
// core, and fills the graphics host. Call once before the first engine
// setting that reaches graphics, and before InitEngine.
#pragma once

void InstallEngineServices();
