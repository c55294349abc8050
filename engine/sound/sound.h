// Engine sound: sound handles (static sounds decoded whole into buffers that
// take turns, and stream sounds decoded into a six-second ring while they
// play), the sound system's start and end, and the per-step stream refill.
#pragma once

#include <cstdint>

// ---- system (the engine's start and end call these) ----
int StartSoundSystem();  // 0, or -1 (already started, or no sound device)
int EndSoundSystem();    // 0, or -1 when not started
// One step of the engine's message processing; play type 0 runs it while it
// waits for a sound to end. Returns -1 once the main window is gone. Start-up
// installs the engine's own step; without one the wait only refills streams.
void SetSoundMessageStep(int (*step)());
// Refills every stream sound's ring; the message processing calls it every
// step. 0, or -1 before the sound system starts.
int RefillAllSoundStreams();
// The music handles' playback poll of the message processing, and the end of
// file music, the first sound step of the engine's shutdown. No operation of
// this system creates a music handle or file music, so both find nothing to
// do; 0.
int PollMusicPlayback();
int EndFileMusic();
// The main window's notification that a MIDI played through the media
// control interface ended: it would replay looping music and close the rest.
// No music is ever opened that way here, so there is nothing to replay; 0.
int HandleMciNotify(void* window, uintptr_t wparam, intptr_t lparam);

// ---- storage mode of later loads ----
// 0 decode whole at load, 2 keep the encoded file in memory and decode while
// playing, 3 decode from the open file while playing. 1 is accepted but a
// load in mode 1 fails (it names no source to decode).
int SetSoundStorageMode(int mode);  // 0, or -1 and no change
int GetSoundStorageMode();
// Set while a movie loads the sound beside its pictures: later loads then
// take only Ogg Vorbis sound. 0.
int SetSoundMovieFlag(int on);
int GetSoundMovieFlag();

// ---- handles ----
enum SoundPlayType { SOUND_PLAY_WAIT = 0, SOUND_PLAY_BACK = 1, SOUND_PLAY_LOOP = 3 };

int LoadSoundFile(const char* file_name, int buffer_count = 3, int share_handle = -1);
int LoadSoundImage(const void* data, int size, int buffer_count = 3, int share_handle = -1);
int StartSoundHandle(int handle, int play_type, int from_top = 1);
int HaltSoundHandle(int handle);
int QuerySoundHandlePlaying(int handle);  // 1, 0, or -1 for a bad handle
int SetSoundHandleVolume(int volume, int handle);  // 0..255
int SetSoundHandleFrequency(int rate, int handle);  // Hz; -1 restores the sound's own rate
int GetSoundHandleSampleCount(int handle);
int GetSoundHandleLengthMs(int handle);
int GetSoundHandlePositionMs(int handle);
int DisposeSoundHandle(int handle);
int DisposeAllSoundHandles();

// ---- the engine core's records of sound and of its music ----
struct EngineSubsystem;
extern const EngineSubsystem kSoundSubsystem;
extern const EngineSubsystem kMusicSubsystem;
