// Connects the engine's subsystems: registers the record of each with the
// core, shows graphics in the engine's main window and lets its graphs play
// movies. Call once before the first engine setting that reaches graphics,
// and before InitEngine.
#pragma once

void InstallEngineServices();
