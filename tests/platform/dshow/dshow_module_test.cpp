// The streams module: component creation loads it the first time one of its
// classes is asked for, with the decoding libraries it links; a module that
// cannot be loaded or attached registers nothing and leaves nothing behind.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/dshow/dshow_control.h"
#include "tests/support/temp_dir.h"

namespace {

// Whether a shared object whose file name begins with `name` is mapped.
bool Mapped(const std::string& name) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find("/" + name) != std::string::npos) return true;
  return false;
}

template <class T>
HRESULT Create(REFCLSID clsid, REFIID iid, T** out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(out));
}

class DshowModuleTest : public TempDirTest {
 protected:
  void TearDown() override {
    DshowSetModuleName(nullptr);
    TempDirTest::TearDown();
  }
};

TEST_F(DshowModuleTest, TheFirstObjectBringsTheDecodingLibrariesAndAModuleThatCannotLoadRegistersNothing) {
  ASSERT_FALSE(Mapped("dshow_streams")) << "the module is loaded before anything asked for it";
  ASSERT_FALSE(Mapped("libavformat")) << "the program links the decoding libraries";
  WriteFile("broken.so", "no shared object");
  const std::string cases[] = {
      "no_such_module.dll",  // nowhere to be found
      Path("broken.so"),     // not loadable
      "libz.so.1",           // loads, but offers no attachment
  };
  for (const std::string& name : cases) {
    DshowSetModuleName(name.c_str());
    IGraphBuilder* graph = reinterpret_cast<IGraphBuilder*>(1);
    EXPECT_EQ(Create(CLSID_FilterGraph, IID_IGraphBuilder, &graph), REGDB_E_CLASSNOTREG) << name;
    EXPECT_EQ(graph, nullptr) << name;
    IAMMultiMediaStream* stream = nullptr;
    EXPECT_EQ(Create(CLSID_AMMultiMediaStream, IID_IAMMultiMediaStream, &stream), REGDB_E_CLASSNOTREG) << name;
    EXPECT_FALSE(Mapped("libavformat")) << name;
  }

  DshowSetModuleName(nullptr);
  IGraphBuilder* graph = nullptr;
  ASSERT_EQ(Create(CLSID_FilterGraph, IID_IGraphBuilder, &graph), S_OK);
  EXPECT_TRUE(Mapped("dshow_streams"));
  EXPECT_TRUE(Mapped("libavformat"));
  IAMMultiMediaStream* stream = nullptr;
  ASSERT_EQ(Create(CLSID_AMMultiMediaStream, IID_IAMMultiMediaStream, &stream), S_OK);
  EXPECT_EQ(MultiMediaStreamCount(), 1);
  EXPECT_EQ(stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, graph), S_OK);
  IMediaControl* control = nullptr;
  ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)), S_OK);
  EXPECT_EQ(control->Pause(), MS_E_NOTINIT);  // the graph reaches its stream, which has no file yet
  control->Release();
  stream->Release();
  graph->Release();
  EXPECT_EQ(MultiMediaStreamCount(), 0);
  // Unknown classes stay unknown with the module there.
  IUnknown* other = nullptr;
  EXPECT_EQ(Create(IID_IUnknown, IID_IUnknown, &other), REGDB_E_CLASSNOTREG);
}

}  // namespace
