#include "Die.h"

namespace client {

void TDie::Start(int n) {
  roll_ = n;
  tick_ = 10;
  timer_.Resume();
}

bool TDie::Tick(int* shown) {
  if (tick_ > 0) --tick_;
  if (shown) *shown = face_ + 1;
  face_ = (face_ + 1) % 6;
  timer_.SlowDown();
  if (tick_ > 0 || roll_ % 6 != face_) return true;
  Finish();
  return false;
}

void TDie::Finish() {
  face_ = roll_ - 1;
  timer_.Stop();
}

}  // namespace client
