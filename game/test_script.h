// A test hook for driving the real program: when the environment variable
// VOXALDRIFT_TEST_SCRIPT names a script file, the frame loop runs that script
// (key presses and typed text pushed into the window's event queue, waits for
// frames and scenes, screenshots). Without the variable nothing here runs.
//
// One command per line ('#' starts a comment):
//   seed N          seed the engine's random generator (after start-up)
//   unpaced         run frames back to back instead of 60 per second (one a
//                   millisecond at most: the keyboard's reading rate)
//   limit N         fail once the program has run N frames (default 100000)
//   frames N        wait N frames
//   scene N         wait until scene N is the current scene
//   state N M ...   wait until the current scene is in one of the states
//                   (the match scenes' numbers: 1 count-in, 2 play, 4 and
//                   5 the result, 6 a battle's menu, 8 a net battle's
//                   menu once the peer has left it, ...)
// A frame in which the scene waited for the other machine of a net battle
// (the peer's connect, its keys, a frame's record, the next seed) counts
// neither for `frames` nor for the limit: the script keeps pace with what
// the program does, however slowly the other program runs.
//   tap KEY         press a key for one frame (SDL key names: Right, Return, Z)
//   hold KEY        press a key and keep it down
//   release KEY     let go of a held key
//   type TEXT       type the text (UTF-8)
//   shot FILE       write the window's picture as a PNG file
//   mark FILE       create an empty file (a sign to another program or the
//                   test that this one got here)
//   await FILE      wait until the file exists
//   close           close the window
// A script that fails (bad line, a wait that runs past the limit, a shot that
// cannot be written) ends the program with exit code 3 and one line on
// stderr.
#pragma once

#include <cstdint>
#include <vector>

// Reads the script named by VOXALDRIFT_TEST_SCRIPT and hooks it into the
// frame loop; nothing when the variable is not set. A script that cannot be
// read fails at the first frame.
void install_test_script_from_environment();
// Called once the engine runs and before the first frame (the seed).
void test_script_started();

// Writes 0x00RRGGBB pixels as an RGB PNG file.
bool write_png_file(const char* path, const std::vector<uint32_t>& pixels, int width, int height);
