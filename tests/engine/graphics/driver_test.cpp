// The drawing drivers' records: each driver's factory fills every operation
// itself (what a back end does not have it marks NoOperation), the core's
// defaults fill whatever is left and do nothing, and the headless software
// driver is the one the screen and every graph use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/graphics/graphics_internal.h"
#include "tests/engine/graphics/graphics_fixtures.h"

namespace {

// The names of the operations a factory left unset.
std::vector<std::string> Unfilled(void (*factory)(GraphicsDriver*)) {
  GraphicsDriver d{};
  factory(&d);
  std::vector<std::string> missing;
  if (!d.name) missing.push_back("name");
  ForEachDriverOp(d, [&](const char* name, auto& entry) {
    if (!entry) missing.push_back(name);
  });
  return missing;
}

TEST(GraphicsDriverTest, EachFactoryFillsEveryOperation) {
  struct Case {
    const char* driver;
    void (*factory)(GraphicsDriver*);
  } cases[] = {{"software", software::CreateDriver}, {"device", device::CreateDriver}};
  for (const Case& c : cases) {
    std::vector<std::string> missing = Unfilled(c.factory);
    std::string names;
    for (const std::string& n : missing) names += " " + n;
    EXPECT_TRUE(missing.empty()) << c.driver << " leaves unset:" << names;
  }
  EXPECT_STREQ(SoftwareDriver()->name, "software");
  EXPECT_STREQ(DeviceDriver()->name, "device");
}

TEST(GraphicsDriverTest, TheDefaultsFillAnEmptyRecordWithOperationsThatDoNothing) {
  GraphicsDriver d{};
  FillDriverDefaults(&d);
  int count = 0;
  ForEachDriverOp(d, [&](const char* name, auto& entry) {
    EXPECT_NE(entry, nullptr) << name;
    count++;
  });
  EXPECT_GT(count, 40);
  const int32_t rect[4] = {0, 0, 10, 10};
  EXPECT_EQ(d.clear(), 0);
  EXPECT_EQ(d.draw_graph(nullptr, 0, 0, 0), 0);
  EXPECT_EQ(d.needs_subtract_passes(), 0);
  EXPECT_EQ(d.set_clip(rect), 0);
  EXPECT_EQ(d.screen_format(), nullptr);
  EXPECT_EQ(d.graph_view(nullptr), nullptr);
  d.flush(1);
  d.begin_masked_paint(rect);
}

class DriverChoiceTest : public GraphicsTest {};

// Headless there is no device: the software driver is the screen's and
// holds every graph's pixels, part graphs included.
TEST_F(DriverChoiceTest, HeadlessTheSoftwareDriverHoldsEveryGraph) {
  EXPECT_EQ(&ScreenDriver(), SoftwareDriver());
  int graph = SolidGraph(16, 16, {10, 20, 30, 255});
  int part = CreatePartGraph(4, 4, 8, 8, graph);
  ASSERT_GE(part, 0);
  for (int g : {graph, part}) {
    GraphRecord* r = GetGraphRecord(g);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->image->driver, SoftwareDriver());
    EXPECT_EQ(r->piece_count, 0);
    ASSERT_NE(GetGraphMemImage(g), nullptr);
  }
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(part), 0, 0), (Rgba{10, 20, 30, 255}));
}

}  // namespace
