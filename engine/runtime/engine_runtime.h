// Connects the engine's subsystems: registers the record of each with the
// core, and fills the graphics and input hosts. Call once before the first
// engine setting that reaches graphics or input, and before InitEngine.
#pragma once

void InstallEngineServices();
