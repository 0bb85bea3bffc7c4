// Whole tables against the real programs: one person alone with five
// computer players, driven through the client's test control at the fast
// pace. A script that loops and one that cannot be set up must not stall it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "NpcTable.h"

namespace {

namespace fs = std::filesystem;

npcbench::TTableOptions Options(const fs::path& npc) {
  npcbench::TTableOptions o;
  o.serverPath = VELMORA_SERVER_PATH;
  o.clientPath = VELMORA_CLIENT_PATH;
  o.facesDir = VELMORA_FACES_DIR;
  o.npcDir = npc.string();
  o.stallSeconds = 120;  // generous: sanitizer builds on a loaded machine
  return o;
}

TEST(TableE2E, ABrokenScriptDoesNotStallTheTable) {
  fs::path npc = fs::temp_directory_path() / ("velmora_npc_broken_" + std::to_string(::getpid()));
  fs::remove_all(npc);
  // The shipped scripts, default.sc with the files it includes.
  fs::copy(VELMORA_NPC_DIR, npc, fs::copy_options::recursive);
  // The first two computer players of the setup dialog's defaults: one loops
  // in its turn, one lacks the event that answers suggestions.
  std::ofstream(npc / "\xe9\xbb\x84\xe5\xb1\xb1\xe5\xbf\xa0\xe5\x8a\xa9.sc")  // 黄山忠助
      << "#include game\nint gMyIndex;\nint gMyUserId;\nint n;\n"
         "void OnTurn() { saikoro(); while (1) n = n + 1; }\n"
         "void OnOtherSuiriCheck(int a, int b, int c) { while (1) n = n + 1; }\n"
         "export gMyIndex;\nexport gMyUserId;\nexport OnTurn;\nexport OnOtherSuiriCheck;\n";
  std::ofstream(npc / "\xe7\x99\xbd\xe9\xb3\xb3\xe9\x99\xa2\xe9\x9b\x9b\xe5\xad\x90.sc")  // 白鳳院雛子
      << "#include game\nint gMyIndex;\nint gMyUserId;\nvoid OnTurn() { }\n"
         "export gMyIndex;\nexport gMyUserId;\nexport OnTurn;\n";
  npcbench::TTableOptions o = Options(npc);
  o.seed = 5;
  o.maxRounds = 4;
  npcbench::TGameResult r = npcbench::PlayTable(o);
  fs::remove_all(npc);
  ASSERT_TRUE(r.error.empty()) << r.error << "\n" << r.clientLog;
  ASSERT_TRUE(r.played);
  EXPECT_FALSE(r.stalled) << r.lastState << "\n" << r.clientLog;
  EXPECT_EQ(r.rounds, 4);  // every seat's turns kept passing
  EXPECT_TRUE(r.out.empty());
  EXPECT_GE(r.stoppedEvents, 3);  // the looping player's turns
  EXPECT_NE(r.clientLog.find("OnOtherSuiriCheck"), std::string::npos) << r.clientLog;
  EXPECT_NE(r.clientLog.find("the host ends its turn"), std::string::npos) << r.clientLog;
}

// When the client goes away mid-game (here: no script can be set up, not even
// default.sc), the harness reports it instead of dying on the closed control
// socket and leaving the server running.
TEST(TableE2E, AClientThatGoesAwayIsReported) {
  fs::path npc = fs::temp_directory_path() / ("velmora_npc_none_" + std::to_string(::getpid()));
  fs::remove_all(npc);
  fs::create_directories(npc);
  std::ofstream(npc / "default.sc") << "int gMyIndex; this does not compile\n";
  npcbench::TTableOptions o = Options(npc);
  o.seed = 6;
  o.maxRounds = 2;
  npcbench::TGameResult r = npcbench::PlayTable(o);
  fs::remove_all(npc);
  EXPECT_EQ(r.winner, -1);
  EXPECT_EQ(r.error, "the client stopped answering") << r.lastState << "\n" << r.clientLog;
}

}  // namespace
