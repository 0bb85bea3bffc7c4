#include <gtest/gtest.h>

#include "LoginFlow.h"

namespace {

using namespace client;

// The dialog opens once at a time, never while connected, and again after a
// lost connection, which counts once.
TEST(LoginFlow, DialogConnectionAndLoss) {
  TLoginFlow f;
  ASSERT_TRUE(f.OpenDialog());
  EXPECT_FALSE(f.OpenDialog());
  EXPECT_EQ(f.NextAnswer(), daAsk);
  f.Opened();
  EXPECT_TRUE(f.Connecting());
  EXPECT_FALSE(f.MayOpenDialog());
  f.DialogClosed();  // the dialog's end after it opened a connection changes nothing
  EXPECT_EQ(f.State(), lsConnecting);
  EXPECT_TRUE(f.Lost());
  EXPECT_FALSE(f.Lost());
  EXPECT_TRUE(f.MayOpenDialog());
}

// A refusal that ends the program: no dialog, no connection counts as under
// way, and no loss after it.
TEST(LoginFlow, FinalOpensNoDialog) {
  TLoginFlow f;
  f.OpenDialog();
  f.Opened();
  f.Final();
  EXPECT_FALSE(f.Connecting());
  EXPECT_FALSE(f.Lost());
  f.LoggedOut();
  EXPECT_FALSE(f.MayOpenDialog());
  EXPECT_FALSE(f.OpenDialog());
}

// The automatic login answers once with the saved entries; asked again before
// the player is seated, it fails; once seated, the player is asked.
TEST(LoginFlow, AutomaticLoginAtItsEdge) {
  TLoginFlow f(true);
  EXPECT_FALSE(f.AutoAttempt());
  f.OpenDialog();
  EXPECT_EQ(f.NextAnswer(), daSaved);
  EXPECT_TRUE(f.AutoAttempt());
  EXPECT_EQ(f.NextAnswer(), daFail);
  f.Opened();
  f.Seated();
  EXPECT_FALSE(f.AutoAttempt());
  EXPECT_FALSE(f.AttemptFailed());  // a failure from now on asks again
  EXPECT_TRUE(f.Connecting());
  EXPECT_TRUE(f.Lost());
  f.OpenDialog();
  EXPECT_EQ(f.NextAnswer(), daAsk);

  TLoginFlow g(true);
  g.OpenDialog();
  g.NextAnswer();
  EXPECT_TRUE(g.AttemptFailed());
  EXPECT_EQ(g.State(), lsFinal);
  EXPECT_FALSE(g.AutoAttempt());
}

}  // namespace
