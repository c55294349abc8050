// One player's side of a match: the board and the falling pair, the queue of
// coming pairs, level, score and timers, the link to the opposing field and
// the recorded commands. Fields are driven only through replay commands: a
// person's button changes are recorded as commands and the commands of each
// frame drive the virtual buttons, so a match is reproduced from its
// settings, its seed and its command list.
//
// The rules play no sound: they report what is to be heard (sounds), and the
// scene plays it through one sink (play_field_sounds), so they run the same
// with or without a speaker.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "game/block.h"
#include "game/hud.h"
#include "game/opponent_host.h"
#include "game/replay.h"
#include "game/side_settings.h"
#include "game/twistar.h"
#include "opponents/plugin_api.h"

// Results of an update.
inline constexpr int kFieldPlaying = 2;
inline constexpr int kFieldPaused = 3;
inline constexpr int kFieldGoal = 4;
inline constexpr int kFieldToppedOut = 5;
inline constexpr int kFieldStop = 8;  // replays: stop asked for

inline constexpr int kTimeTrialFrames = 7200;
inline constexpr int kGarbageUnitsPerBlock = 120;
inline constexpr int kGarbageUnitsPerRow = 720;

// Virtual buttons (index into buttons).
enum VirtualButton { kButtonLeft = 0, kButtonRight = 1, kButtonDown = 3, kButtonCw = 5, kButtonCcw = 6 };

class Field;

// ---- the field's state, by what the rules do with it ------------------------------

// The pair in play, the pairs to come, and the timers of its fall, its lock
// and the next pair's entry.
struct Falling_Pair {
  Active_Block* piece = nullptr;  // the two blocks that fall
  int32_t queue[5][2] = {};       // the next five pairs {axis, partner}, next first
  int32_t fall_accumulator = 0;   // gravity, in 1/60 pixel
  int32_t lock_timer = 0;         // frames left before a landed pair locks; 0 not running
  int32_t slide_resets = 0;       // lock-delay reloads left to this pair's slides
  int32_t rotate_resets = 0;      // and to its turns
  int32_t repeat_timer = 0;       // frames before a held sideways button slides again
  int32_t spawn_timer = 0;        // frames before the next pair enters; 0 while one is in play
};

// The match's numbers: its clock, the level and what it takes to reach the
// next, a break trial's goal, and the results the scenes show and keep.
struct Match_Counters {
  int32_t time = 0;             // frames: down from 7200 in a time trial, else up from 0
  int32_t level = 0;            // 0-31
  int32_t blocks_to_level = 0;  // ordinary blocks still to clear before the next level
  int32_t break_target = 0;     // blocks to clear in a break trial, else 0
  int32_t score = 0;
  int32_t cleared = 0;          // ordinary blocks cleared, at most 65535
  int32_t max_chain = 0;        // largest chain number reached
};

// What passes between the two fields of a battle: each field's clears add
// to the other's pending garbage, and while its blocks carry a chain the
// other's hold flag keeps that garbage from dropping.
struct Opponent_Link {
  Field* opponent = nullptr;    // null in single play
  int32_t pending_garbage = 0;  // owed to this field, in score units (120 a block)
  uint8_t hold_flag = 1;        // 1: no garbage drops on this field now
};

// The virtual buttons and the commands that drive them.
struct Field_Input {
  uint8_t buttons[8] = {};               // 0 up, 1 held, 2 pressed this frame
  int32_t device = 0;                    // input device a person's buttons and START are read on
  std::vector<replay_command> commands;  // recorded, or to be played, in frame order
  size_t next = 0;                       // the first command not yet applied
};

// A computer side's search and its steering.
struct Computer_Side {
  HANDLE think_thread = nullptr;        // the running search, null when none
  OpponentThinkFn think_set = nullptr;  // null until bound, and for a plug-in given up on
  int32_t decision = 0;                 // the last answer taken
  int32_t think_countdown = 0;          // frames before the answer is taken
  int32_t thinking_time = 0;
  int32_t miss_percent = 0;             // stored, read by nothing
  int32_t target_offset = 0;            // columns still to slide: < 0 left, > 0 right
  int32_t target_rotation = 0;          // -1 one turn counter-clockwise, 1 or 2 clockwise
};

// The counters beside the well, and the chain labels over it.
struct Field_Hud {
  std::unique_ptr<Next_Block> next_block;
  std::unique_ptr<Yokoku_Count> yokoku;
  std::unique_ptr<Break_Count> break_count;
  std::unique_ptr<Level_Count> level_count;
  std::unique_ptr<Score_Count> score_count;
  std::unique_ptr<Time_Count> time_count;
  Chein_Count* chain_popups[4] = {};  // the settling pass deletes those run out
};

// The sounds a field asked for since they were last played.
enum Field_Sound : uint16_t {
  kFieldSoundSlide = 1 << 0,     // "sounds\slide.wav"
  kFieldSoundRotate = 1 << 1,    // "sounds\rotate.wav"
  kFieldSoundSet = 1 << 2,       // "sounds\set.wav": a pair locked
  kFieldSoundBreak = 1 << 3,     // "sounds\break.wav" at break_frequency
  kFieldSoundLevelUp = 1 << 4,   // "sounds\levelup.wav": a level, or a time trial's end
  kFieldSoundGarbage = 1 << 5,   // "sounds\jama.wav": garbage dropped
  kFieldSoundPause = 1 << 6,     // "sounds\pause.wav"
  kFieldSoundCount = 1 << 7,     // "sounds\321.wav": a time trial's last seconds
  kFieldSoundGameOver = 1 << 8,  // "sounds\gameover.wav"
};
struct Field_Sounds {
  uint16_t pending = 0;
  int break_frequency = 0;  // of the last clear
  void report(Field_Sound sound) { pending |= sound; }
  bool has(Field_Sound sound) const { return (pending & sound) != 0; }
};
// Plays the sounds a field asked for through the effect cache, and forgets
// them.
void play_field_sounds(Field_Sounds* sounds);

// One node of the group search: the block and the nodes reached from it, up,
// left, down and right. Deleting a node deletes its children first.
struct Delete_Tree {
  explicit Delete_Tree(Block* b) : block(b) {}
  ~Delete_Tree();
  Delete_Tree(const Delete_Tree&) = delete;
  Delete_Tree& operator=(const Delete_Tree&) = delete;

  Block* block;
  Delete_Tree* child[4] = {};
};

// A person's or a computer's field. A replayed field and the two fields of
// a net battle derive from it and bring their own frame, drawing, reset and
// input steps: these are virtual, so whatever pointer a field is held by,
// it runs its own.
class Field {
 public:
  Field(const side_settings& settings, int origin_x, int device);
  virtual ~Field();
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;

  // A new match on the same field.
  virtual void reset(int seed);
  // One frame of play: 2 playing, 3 pause asked for, 4 goal reached, 5 topped out.
  virtual int update();
  virtual void draw();
  // The pair, the blocks and the chain labels where they stand, without a
  // frame of play: for a frame in which the field does not move (a net
  // battle waiting for the other machine), which update would draw.
  void draw_still() const;
  // One frame of the count-in, n frames left; n = 1 takes the first pair.
  void draw_countdown(int n);
  // The digit the count-in shows with n frames left (4 in its first frame).
  static int countdown_digit(int n) { return n / 60 + 1; }
  int check_pause();
  int win_animation(int n);
  int lose_animation(int n);

  // Writes this field's section of a replay file and empties the command
  // list. 1, or 0 when compression failed.
  int write_replay(std::vector<uint8_t>* file);

  // The board as a computer opponent reads it: stable records, refreshed on
  // the main thread before each search starts, never the live blocks.
  void refresh_opponent_view();
  const BlockView* const* opponent_board() const { return view_->cells; }
  const int32_t (*opponent_queue() const)[2] { return view_->queue; }

  // ---- computer side ---------------------------------------------------------
  // Binds the plug-in of `module`, hands it this field's view and starts the
  // first search. The battle scene calls it once per match, in the last
  // frame of the count-in. A plug-in that lacks an export, or whose earlier
  // search never ended, is not called: the side then only drops its pairs.
  void start_thinking();
  // At a pair's entry: takes the answer at once when the thinking time is 0.
  void poll_thinking();
  // One frame of steering toward the targets: one replay command, applied.
  void ai_steer();
  // Targets of a placement index (0-21; others count as the nearest row of
  // the table, and offsets past the walls as the wall).
  static void decode_placement(int32_t index, int32_t* offset, int32_t* rotation);

  // ---- pair movement (field_pair.cpp) --------------------------------------------
  bool is_landed() const;
  bool piece_in_bounds() const;
  bool slide_left();
  bool slide_right();
  bool rotate_ccw();
  bool rotate_cw();
  void kick_rotation(int old_rotation);
  void fall_step();

  // ---- rules (field_rules.cpp) ---------------------------------------------------
  void settle_blocks();
  void clear_groups(int row, int column);
  void find_group(Delete_Tree* node);
  void drop_garbage();

  // ---- recording and the frame's commands ---------------------------------------
  // A person's buttons of this frame as a command, then the frame's
  // commands applied. False when the command could not be passed on.
  virtual bool record_input();
  // The commands of this frame applied to the virtual buttons.
  virtual void play_commands();
  void append_command(const replay_command& command) { input.commands.push_back(command); }

  // A cell outside the board counts as occupied.
  bool occupied(int row, int column) const;
  bool cell_free(int row, int column) const;
  // Whether the pair in play holds that cell.
  bool pair_holds(int row, int column) const;
  bool held(int button) const { return input.buttons[button] != 0; }
  bool pressed(int button) const { return input.buttons[button] == 2; }
  const int32_t* level_row() const { return level_table_row(counters.level); }
  static const int32_t* level_table_row(int level);

  // What the field was made with (written to replays), where its well is,
  // and its mode (0 endless, 1 time trial, 2 break trial, 3 battle).
  side_settings settings;
  int32_t origin_x;
  int32_t mode = 0;
  // Rows 0 (top) to 13, columns 0 to 5; null is an empty cell.
  Block* board[kBoardRows][kBoardColumns] = {};
  Falling_Pair pair;
  Match_Counters counters;
  Opponent_Link link;
  Field_Input input;
  Computer_Side computer;
  Field_Hud hud;
  Twistar* rng = nullptr;  // the pair generator
  Field_Sounds sounds;

 protected:
  // For derived fields that read their settings themselves.
  struct Unbuilt {};
  explicit Field(Unbuilt) : origin_x(0) {}
  // The rest of a field built from its settings: the first match and the
  // HUD, placed where replayed fields have theirs when `replayed_hud`.
  void construct(int origin, int dev, bool replayed_hud);
  // Everything of a new match that follows from the settings and the seed:
  // counters, level, pair generator, first pieces.
  void start_match(uint32_t seed);
  void create_hud(int hud_x);
  void delete_blocks();
  void lock_piece();
  void spawn_piece();
  void next_piece();
  void init_pieces();
  // The colours of a new pair from the generator.
  void new_pair_colours(int32_t* out);
  void draw_pair_and_blocks();
  void draw_hud();
  void control_step();
  // The pair's part of a frame: the spawn delay, or locking, moving and
  // the lock delay.
  void advance();
  bool slide(int dir);  // -1 left, 1 right
  // Steps 6-9 of the frame: drawing, the opponent's hold flag, settling and
  // the labels.
  void after_control();
  // The end-of-frame results shared with replays: pause, break goal, top-out.
  bool spawn_cell_blocked() const;
  // A time trial's clock, one frame: its last seconds counted aloud when
  // `count_aloud`; true in the frame it runs out. Other modes count up.
  bool tick_clock(bool count_aloud);
  // A computer side's part of a frame, where a person's input is read: the
  // countdown and poll of its search and its steering, decided on the state
  // the frame starts with, so its commands act where a replay applies them.
  void computer_input();
  // After the settling pass: a new search while the next pair waits.
  void start_next_search();
  // A successful slide of a computer side moves it toward its target.
  void count_slide(int dir);
  // Waits (with the time limit) for a search still running and forgets it.
  void end_thinking();

 private:
  bool lock_due() const;
  void take_answer();

  static std::vector<Block*> work_list() {
    std::vector<Block*> list;
    list.reserve(256);
    return list;
  }
  // The group search's work lists: the group, the garbage touching it, and
  // every block looked at.
  std::vector<Block*> cleared_normal = work_list(), cleared_garbage = work_list(), visited = work_list();
  std::shared_ptr<OpponentView> view_ = std::make_shared<OpponentView>();
};

// Makes two fields each other's opponent: what one clears is sent to the
// other as garbage, and one's chain holds the other's garbage back.
void link_opponents(Field* a, Field* b);

// The break sound's rate for the chain number the cleared blocks carried.
int break_sound_frequency(int carried_chain);

// The HUD x of a field at origin_x: right of a left-hand well, left of a
// right-hand one; replayed fields sit 4 pixels closer.
int hud_x_for(int origin_x, bool replayed);
