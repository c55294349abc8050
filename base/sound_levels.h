// How the speaker's full scale is shared by the game's two sound outputs.
// The sound buffers' mixer (platform/dsound) plays the effects, and with them
// whatever else goes through sound handles (music in Ogg Vorbis, a movie's
// sound); it never lets its output pass kEffectsCeiling. The MIDI library
// (tunehall) is the other output, beside it: the music the generator writes
// peaks below kMusicPeak. Added together, as the speaker hears them, the two
// stay below full scale, whatever the game sounds at once.
#pragma once

// Shares of full scale (1 = the largest 16-bit sample).
inline constexpr double kEffectsCeiling = 0.6;
inline constexpr double kMusicPeak = 0.35;

static_assert(kEffectsCeiling + kMusicPeak < 1.0, "the two outputs added must stay below full scale");
