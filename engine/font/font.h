// Font handles and text: a font handle is a system font (face, size in
// pixels, stroke thickness) with its own glyph cache. Strings are code page
// 932, cut into one- and two-byte characters; they are measured, or drawn
// onto the draw screen with the draw state of engine graphics. Main thread
// only. Results are 0 or a handle for success and -1 for failure.
#pragma once

#include <cstdint>

constexpr int FONT_HANDLE_SLOTS = 40;
constexpr uint32_t FONT_TYPE_EDGE = 0x1;       // each glyph gets an outline in a second colour
constexpr uint32_t FONT_TYPE_ANTIALIAS = 0x2;  // glyphs carry grey levels
constexpr int FONT_FACE_BYTES = 256;

// ---- font system and handles ------------------------------------------------------
// face: null or empty for the fallback face. -1 for size (16), thickness (6),
// type (0), charset index (1; 2 on a Korean system), edge size (1). An edge
// size above 1 makes the font edged. slot and check -1: the first free slot
// and the next check number.
int CreateFontToHandle(const char* face, int size, int thickness, int type, int charset, int edge_size, int italic,
                       int slot = -1, int check = -1);
int FreeFontHandle(int handle);
int SetFontCharGap(int gap, int handle);
// The int is set to 0 now and to 1 when the font is deleted.
int BindFontDeletedFlag(int handle, int* flag);
// face: room for FONT_FACE_BYTES bytes; any out pointer may be null.
int QueryFontByHandle(char* face, int* size, int* thickness, int handle);
int ReadFontSize(int handle);
int IsFontHandleLive(int handle);  // 1 or 0
int FetchDefaultFont();
int SetDefaultFontSizeAndThickness(const char* face, int size, int thickness);
int RefreshDefaultFont();
int StartFontSystem();
int EndFontSystem();
int ResetFontHandles();
int RecreateAllFonts();
int ClearFontCache(int handle);
int RestoreFontCacheGraph(int handle);
// The default font's face, size and thickness, as engine graphics carries
// them across a screen-mode change; -1 when there is no live default font.
int QueryDefaultFontSettings(char* face, int face_size, int* size, int* thickness);
// 1 when the byte starts a two-byte character of the charset index.
int IsLeadByte(const char* byte, int charset);

// ---- strings ------------------------------------------------------------------------
// colour and edge_colour: pixel values of the screen's format. vertical:
// top to bottom, each glyph turned a quarter turn clockwise.
int DrawTextWithFont(int x, int y, const char* text, uint32_t colour, int handle, uint32_t edge_colour,
                     int vertical);
// Width in pixels of length bytes (-1: all) with the default font.
int MeasureStringWidth(const char* text, int length, int vertical);
int MeasureStringWidthByFont(const char* text, int length, int handle, int vertical);
int DrawTextTextureCache(int x, int y, const char* text, uint32_t colour, int handle, uint32_t edge_colour,
                         int vertical);
int DrawTextTextureCacheScaled(int x, int y, double x_scale, double y_scale, const char* text, uint32_t colour,
                               int handle, uint32_t edge_colour, int vertical);
int DrawTextSoftware(int x, int y, const char* text, uint32_t colour, int handle, uint32_t edge_colour,
                     int vertical);
int DrawTextSoftwareScaled(int x, int y, double x_scale, double y_scale, const char* text, uint32_t colour,
                           int handle, uint32_t edge_colour, int vertical);


// ---- the engine core's record of the fonts: the on-screen log's text -------------------
struct EngineSubsystem;
extern const EngineSubsystem kFontsSubsystem;
