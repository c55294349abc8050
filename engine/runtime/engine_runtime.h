// Connects the engine's subsystems: the core's services table, the graphics
// host and the input host. Call once before the first engine setting that
// reaches graphics or input, and before InitEngine.
#pragma once

void InstallEngineServices();
