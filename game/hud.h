// The small display objects beside each well: the next pairs, the gauge of
// incoming garbage, cleared blocks, level, score, time, a replay's playback
// speed, and the floating chain label of each clear. Each keeps a pointer to
// the value it shows and draws it once per frame with the shared fonts and
// colours.
#pragma once

#include <cstdint>
#include <string>

class Next_Block {
 public:
  Next_Block(const int32_t (*queue)[2], int x) : queue_(queue), x_(x) {}
  void draw() const;

 private:
  const int32_t (*queue_)[2];
  int x_;
};

class Yokoku_Count {
 public:
  Yokoku_Count(const int32_t* pending, int x) : pending_(pending), x_(x) {}
  void draw() const;
  // The gauge of a pending amount: the icons (0-3, at most six, into icons)
  // and the rest below 30 blocks that the bar shows; returns the icon count.
  static int layout(int pending, int icons[6], int* bar_blocks);

 private:
  const int32_t* pending_;
  int x_;
};

class Break_Count {
 public:
  Break_Count(const int32_t* cleared, int target, int x) : cleared_(cleared), target_(target), x_(x) {}
  void draw() const;
  static std::string text(int cleared, int target);

 private:
  const int32_t* cleared_;
  int target_;
  int x_;
};

class Level_Count {
 public:
  Level_Count(const int32_t* level, int x) : level_(level), x_(x) {}
  void draw() const;

 private:
  const int32_t* level_;
  int x_;
};

class Score_Count {
 public:
  Score_Count(const int32_t* score, int x) : score_(score), x_(x) {}
  void draw() const;

 private:
  const int32_t* score_;
  int x_;
};

class Time_Count {
 public:
  Time_Count(const int32_t* time, int x) : time_(time), x_(x) {}
  void draw() const;
  static std::string text(int frames);

 private:
  const int32_t* time_;
  int x_;
};

class Speed_Count {
 public:
  Speed_Count(const int* speed, int x) : speed_(speed), x_(x) {}
  void draw() const;

 private:
  const int* speed_;
  int x_;
};

// A chain label: rises and fades out over 30 frames.
class Chein_Count {
 public:
  Chein_Count(int x, int y, int chain) : x(x), y(y), chain(chain) {}
  // Counts down, then draws. Returns true.
  bool update();
  void draw() const;

  int32_t x;
  int32_t y;
  int32_t chain;
  int32_t timer = 30;
};
