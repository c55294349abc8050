// Engine movie playback: movie handles over Ogg Theora movies (decoded ahead
// on a thread of their own, timed by the movie's own sound or by the
// microsecond clock) and over any other movie file through multimedia
// streams. Each movie delivers its pictures into a 32-bit frame image from
// which the graph module refreshes the movie's graph before drawing it.
// Main thread only.
#pragma once

#include <cstdint>

#include "engine/image/base_image.h"

struct MovieRecord;
class IDirect3DSurface9;
// Called as hook(record, argument) after a frame update.
typedef void (*MovieFrameHook)(MovieRecord* record, intptr_t argument);

constexpr int MAX_MOVIES = 100;
constexpr int MOVIE_THEORA_STOCK = 10;

// ---- handles ----------------------------------------------------------------------------
// surface_mode: 0 the screen's own format, 1 an overlay (taken as 2), 2 24-bit
// RGB (taken as 0 at a 32-bit screen); used by the multimedia-stream path.
int OpenMovie(const char* file_name, int* width, int* height, int surface_mode);
int DisposeMovie(int movie);  // 0, or -1 for a bad handle
// play_type: -1 keeps the stored one, 0 is taken as 1; the value 2 bit loops.
int RunMovie(int movie, int play_type, int resume_only);
int HoldMovie(int movie, int keep_playing);
MovieRecord* FindMovieRecord(int movie);  // null for a bad handle
// Brings the frame up to date with the movie's clock and runs the frame hook;
// 0, also for a bad handle.
int AdvanceMovieFrame(int movie);
int SetMovieFrameHook(int movie, MovieFrameHook hook, intptr_t argument);
int ResumeMoviesAll();
int HoldMoviesAll();
int MovieLiveCount();

// The movie's frame image when it holds a picture its graph has not had yet
// (a Theora movie's current frame is converted first), else null.
BASEIMAGE* RefreshMovieFrameImage(MovieRecord* record);
// The same through a Theora movie's YUV surface on the device: 1 with the
// surface holding the new picture, 0 when there is none, -1 when the movie
// has no surface or it could not take the frame (the frame image serves).
int RefreshMovieFrameSurface(MovieRecord* record, IDirect3DSurface9** surface);
// Around a device's re-creation: the Theora movies let go of their YUV
// surfaces before it goes, and make them on the new device (none on the
// software renderer) after, their graphs taking the current frame again.
int DropMovieSurfacesAll();
int RemakeMovieSurfacesAll();

// ---- the multimedia-stream path -----------------------------------------------------------
int DropDirectShowObjectsAll();
int ReopenDirectShowMoviesAll();  // 0, or -1 when a movie could not be opened again
// The update of every playing multimedia-stream movie, for the message step
// of an inactive window.
int BlitMovieSurfacesAll();

// ---- conversion tables (start-up) -----------------------------------------------------------
int BuildYuvToRgbTables();

// ---- the engine core's record of the movies, and graphics' source of movie graphs ------------
struct EngineSubsystem;
extern const EngineSubsystem kMoviesSubsystem;
struct GraphMovieSource;
extern const GraphMovieSource kMovieGraphSource;
