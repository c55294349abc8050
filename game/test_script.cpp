// The scripted-input test hook.
#include "game/test_script.h"

#include <SDL.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/core/random.h"
#include "engine/core/util.h"
#include "engine/core/window.h"
#include "game/program.h"
#include "game/scene.h"

namespace {

struct Command {
  int line;
  std::string verb;
  std::string argument;
};

class TestScript : public FrameHook {
 public:
  explicit TestScript(const char* path) {
    std::ifstream in(path);
    if (!in) {
      fail_now(0, std::string("cannot read the script ") + path);
      return;
    }
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
      size_t hash = text.find('#');
      if (hash != std::string::npos) text.erase(hash);
      std::istringstream words(text);
      Command c{line, {}, {}};
      if (!(words >> c.verb)) continue;
      std::getline(words >> std::ws, c.argument);
      while (!c.argument.empty() && (c.argument.back() == ' ' || c.argument.back() == '\r')) c.argument.pop_back();
      if (c.verb == "unpaced")
        unpaced = true;
      else if (c.verb == "limit")
        limit_ = std::atoi(c.argument.c_str());
      else
        commands_.push_back(c);
    }
  }

  void started() {
    while (next_ < commands_.size() && commands_[next_].verb == "seed") {
      SeedRandom((uint32_t)std::strtoul(commands_[next_].argument.c_str(), nullptr, 10));
      ++next_;
    }
  }

  void before_input() override {
    // The keyboard is read at most once a millisecond, and the last frame
    // may have read it as late as its end. A key pressed here is seen only
    // if this frame's reading falls in a later millisecond than every
    // reading of the last frame; otherwise its press and the next frame's
    // release would be taken in together, and the tap go unseen.
    while (GetMillisecondCount() == last_frame_end_) {
    }
    if (exit_code_) return;
    const bool waited = current_scene && current_scene->waited_for_peer();
    if (!waited && ++frame_ > limit_) {
      int line = next_ < commands_.size() ? commands_[next_].line : 0;
      fail_now(line, "the script ran past its frame limit in scene " + std::to_string(current_scene_number));
      return;
    }
    if (pending_release_ != SDL_SCANCODE_UNKNOWN) {
      push_key(pending_release_, false);
      pending_release_ = SDL_SCANCODE_UNKNOWN;
      return;  // the tap's second frame
    }
    if (wait_frames_ > 0 && waited) return;
    if (wait_frames_ > 0 && --wait_frames_ > 0) return;
    while (next_ < commands_.size() && !exit_code_) {
      const Command& c = commands_[next_];
      if (c.verb == "scene") {
        if (current_scene_number != std::atoi(c.argument.c_str()) || !current_scene) return;
        ++next_;
        continue;
      }
      if (c.verb == "state") {
        if (!current_scene || !in_states(c.argument, current_scene->scripted_state())) return;
        ++next_;
        continue;
      }
      if (c.verb == "await") {
        if (!std::ifstream(c.argument)) return;
        ++next_;
        continue;
      }
      ++next_;
      if (!run(c)) return;
    }
  }

  void after_present() override {
    last_frame_end_ = GetMillisecondCount();
    if (shot_.empty()) return;
    std::string path = shot_;
    shot_.clear();
    // The window as shown: in full screen the whole display, the picture
    // letterboxed in it.
    HWND window = GetMainWindow();
    SDL_Window* sdl = window ? GetSdlWindow(window) : nullptr;
    int width = 0, height = 0;
    if (sdl) SDL_GetWindowSizeInPixels(sdl, &width, &height);
    std::vector<uint32_t> pixels((size_t)width * height);
    if (!window || width <= 0 || height <= 0 || ReadWindowPixels(window, pixels.data(), width, height, width * 4) != 0 ||
        !write_png_file(path.c_str(), pixels, width, height))
      fail_now(shot_line_, "cannot write the screenshot " + path);
  }

  bool finished(int* exit_code) override {
    if (!exit_code_) return false;
    *exit_code = exit_code_;
    return true;
  }

 private:
  // Runs one command; false when it takes this frame (the next command runs
  // in a later frame).
  bool run(const Command& c) {
    if (c.verb == "frames") {
      wait_frames_ = std::atoi(c.argument.c_str());
      return wait_frames_ <= 0;
    }
    if (c.verb == "tap" || c.verb == "hold" || c.verb == "release") {
      SDL_Scancode key = SDL_GetScancodeFromName(c.argument.c_str());
      if (key == SDL_SCANCODE_UNKNOWN) return fail_now(c.line, "unknown key " + c.argument);
      push_key(key, c.verb != "release");
      if (c.verb == "tap") pending_release_ = key;
      return c.verb != "tap";
    }
    if (c.verb == "type") {
      SDL_Event e{};
      e.type = SDL_TEXTINPUT;
      e.text.windowID = window_id();
      std::snprintf(e.text.text, sizeof e.text.text, "%s", c.argument.c_str());
      SDL_PushEvent(&e);
      return false;
    }
    if (c.verb == "shot") {
      shot_ = c.argument;
      shot_line_ = c.line;
      return false;
    }
    if (c.verb == "mark") {
      if (!std::ofstream(c.argument)) return fail_now(c.line, "cannot create " + c.argument);
      return true;
    }
    if (c.verb == "close") {
      PostMessageA(GetMainWindow(), WM_CLOSE, 0, 0);
      return false;
    }
    if (c.verb == "seed") {
      SeedRandom((uint32_t)std::strtoul(c.argument.c_str(), nullptr, 10));
      return true;
    }
    return fail_now(c.line, "unknown command " + c.verb);
  }

  static bool in_states(const std::string& list, int state) {
    std::istringstream numbers(list);
    int n;
    while (numbers >> n)
      if (n == state) return true;
    return false;
  }

  uint32_t window_id() const {
    HWND window = GetMainWindow();
    SDL_Window* sdl = window ? GetSdlWindow(window) : nullptr;
    return sdl ? SDL_GetWindowID(sdl) : 0;
  }

  void push_key(SDL_Scancode key, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = window_id();
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = key;
    e.key.keysym.sym = SDL_GetKeyFromScancode(key);
    SDL_PushEvent(&e);
  }

  bool fail_now(int line, const std::string& why) {
    std::fprintf(stderr, "voxaldrift test script: line %d: %s\n", line, why.c_str());
    exit_code_ = 3;
    return false;
  }

  std::vector<Command> commands_;
  int last_frame_end_ = -1;
  size_t next_ = 0;
  int frame_ = 0;
  int limit_ = 100000;
  int wait_frames_ = 0;
  int exit_code_ = 0;
  SDL_Scancode pending_release_ = SDL_SCANCODE_UNKNOWN;
  std::string shot_;
  int shot_line_ = 0;
};

TestScript* script = nullptr;

}  // namespace

void install_test_script_from_environment() {
  const char* path = std::getenv("VOXALDRIFT_TEST_SCRIPT");
  if (!path || !*path || script) return;
  script = new TestScript(path);
  set_frame_hook(script);
}

void test_script_started() {
  if (script) script->started();
}

bool write_png_file(const char* path, const std::vector<uint32_t>& pixels, int width, int height) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row((size_t)width * 3);
  bool ok = png && info;
  if (ok && setjmp(png_jmpbuf(png))) ok = false;
  if (ok) {
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) {
      for (int x = 0; x < width; x++) {
        uint32_t p = pixels[(size_t)y * width + x];
        row[x * 3] = (uint8_t)(p >> 16);
        row[x * 3 + 1] = (uint8_t)(p >> 8);
        row[x * 3 + 2] = (uint8_t)p;
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 && ok;
}
