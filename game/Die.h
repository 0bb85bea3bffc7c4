// KestTimer, the one timer of every animation, and the die that it rolls.
#pragma once

namespace client {

// KestTimer as the animations leave it: on or off at one interval. The end
// of every animation stops it, which returns the interval to 33 ms; only a
// rolling die changes the interval while it runs, so the first roll of the
// program starts at 100 ms and every later one at 33 ms.
class TAnimTimer {
 public:
  static constexpr int kFirst = 100;  // the interval before any animation
  static constexpr int kRest = 33;    // the interval after each animation

  bool Active() const { return active_; }
  int Interval() const { return interval_; }
  // An animation starts at its interval.
  void Start(int interval) { interval_ = interval, active_ = true; }
  // The die starts where the last animation left the interval.
  void Resume() { active_ = true; }
  // An animation ends.
  void Stop() { active_ = false, interval_ = kRest; }
  // Off without an animation's end: the interval carries over.
  void Halt() { active_ = false; }
  // The rolling die slows down, up to two seconds a tick.
  void SlowDown() {
    if (interval_ < 2000) interval_ += 10;
  }

 private:
  bool active_ = false;
  int interval_ = kFirst;
};

// The die: the face it shows (kept between rolls) and a roll of it animated
// on the timer, at least ten faces and ending on the roll.
class TDie {
 public:
  explicit TDie(TAnimTimer& timer, int face = 0) : timer_(timer), face_(face) {}

  // SAIKORO n (1-6): the roll begins.
  void Start(int n);
  // One tick: *shown is the face shown (1-6); false once the roll has
  // stopped on its value (the timer stopped with it).
  bool Tick(int* shown);
  // The roll stops at once on its value.
  void Finish();
  // The last roll, 1-6.
  int Roll() const { return roll_; }
  // The face shown next, 0-5.
  int Face() const { return face_; }

 private:
  TAnimTimer& timer_;
  int face_ = 0;  // DieFace 0-5
  int tick_ = 0;  // faces left to show before it may stop
  int roll_ = 1;
};

}  // namespace client
