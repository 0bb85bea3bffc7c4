// The way to a login and back after a lost connection, as one state machine:
// when the login dialog may open, what answers it, when a connection counts
// as lost, and when the program ends instead. The automatic login of the
// test hook (VELMORA_AUTOLOGIN=1) sits at its edge: it answers the dialog
// once with the saved entries, and any failure of that attempt until the
// player is seated ends the program.
#pragma once

#include <cstdint>

namespace client {

enum TLoginState : uint8_t {
  lsOffline,     // no connection: the dialog may open
  lsDialog,      // the dialog is open
  lsConnecting,  // a connection is open or opening (logging in, logged in)
  lsFinal,       // the program ends: no dialog any more
};

// How the open dialog is answered.
enum TDialogAnswer : uint8_t {
  daAsk,    // ask the player
  daSaved,  // the automatic login: the saved entries, unasked
  daFail,   // the automatic login was not accepted: the program ends
};

class TLoginFlow {
 public:
  explicit TLoginFlow(bool autoLogin = false) : auto_(autoLogin ? auArmed : auOff) {}

  TLoginState State() const { return state_; }
  bool MayOpenDialog() const { return state_ == lsOffline; }
  // A connection is open or opening (not once the program ends).
  bool Connecting() const { return state_ == lsConnecting; }
  // The attempt under way is the automatic login: its failure ends the program.
  bool AutoAttempt() const { return auto_ == auPending; }

  // The dialog opens (from lsOffline only; false otherwise).
  bool OpenDialog();
  // Each time the open dialog is to be answered.
  TDialogAnswer NextAnswer();
  // The dialog closed without a connection.
  void DialogClosed();
  // The dialog's entries opened a connection.
  void Opened();
  // The connection dropped or failed: true when it was open (it is handled
  // once), and the dialog may open again.
  bool Lost();
  // Closed on purpose (a refusal that starts over): the dialog may open again.
  void LoggedOut();
  // Seated at a table: the automatic login is done.
  void Seated();
  // The attempt under way failed (no connection, refused, lost before the
  // player was seated): true when that ends the program, as it does for the
  // automatic login; otherwise the player may try again.
  bool AttemptFailed();
  // A refusal that ends the program.
  void Final() { state_ = lsFinal; }

 private:
  enum TAuto : uint8_t { auOff, auArmed, auPending };
  TLoginState state_ = lsOffline;
  TAuto auto_;
};

}  // namespace client
