// The records through which the engine core starts, ends and asks the
// graphics subsystem and its 3-D model runtime (engine/core/engine_subsystem.h).
#pragma once

struct EngineSubsystem;

extern const EngineSubsystem kGraphicsSubsystem;
extern const EngineSubsystem kModelRuntimeSubsystem;
