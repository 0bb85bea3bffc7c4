#include "LoginFlow.h"

namespace client {

bool TLoginFlow::OpenDialog() {
  if (state_ != lsOffline) return false;
  state_ = lsDialog;
  return true;
}

TDialogAnswer TLoginFlow::NextAnswer() {
  if (auto_ == auArmed) {
    auto_ = auPending;
    return daSaved;
  }
  return auto_ == auPending ? daFail : daAsk;
}

void TLoginFlow::DialogClosed() {
  if (state_ == lsDialog) state_ = lsOffline;
}

void TLoginFlow::Opened() {
  if (state_ == lsDialog) state_ = lsConnecting;
}

bool TLoginFlow::Lost() {
  if (state_ != lsConnecting) return false;
  state_ = lsOffline;
  return true;
}

void TLoginFlow::LoggedOut() {
  if (state_ != lsFinal) state_ = lsOffline;
}

void TLoginFlow::Seated() {
  if (auto_ == auPending) auto_ = auOff;
}

bool TLoginFlow::AttemptFailed() {
  if (auto_ != auPending) return false;
  auto_ = auOff;
  state_ = lsFinal;
  return true;
}

}  // namespace client
