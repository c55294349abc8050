// The core of the drawing drivers: each driver's record, built once by its
// factory and completed with defaults, and the screen's driver.
#include "engine/graphics/graphics_driver.h"
#include "engine/graphics/graphics_internal.h"

namespace {

GraphicsDriver Build(void (*factory)(GraphicsDriver*)) {
  GraphicsDriver d{};
  factory(&d);
  FillDriverDefaults(&d);
  return d;
}

const GraphicsDriver* g_screen_driver = nullptr;

}  // namespace

void FillDriverDefaults(GraphicsDriver* driver) {
  ForEachDriverOp(*driver, [](const char*, auto& entry) {
    if (!entry) NoOperation(&entry);
  });
}

const GraphicsDriver* SoftwareDriver() {
  static const GraphicsDriver driver = Build(software::CreateDriver);
  return &driver;
}

const GraphicsDriver* DeviceDriver() {
  static const GraphicsDriver driver = Build(device::CreateDriver);
  return &driver;
}

const GraphicsDriver& ScreenDriver() { return g_screen_driver ? *g_screen_driver : *SoftwareDriver(); }

void UseScreenDriver(const GraphicsDriver* driver) { g_screen_driver = driver; }

const GraphicsDriver& ImageDriver(const GraphImageData* data) {
  return data && data->driver ? *data->driver : ScreenDriver();
}
