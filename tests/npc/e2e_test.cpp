// Whole games against the shipped computer players: a server process and one
// client process whose person never accuses (played through the client's test
// control), with five computer players, under the fast pace.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "NpcTable.h"

namespace {

namespace fs = std::filesystem;

npcbench::TTableOptions Options(uint32_t seed, bool accuseAnywhere, const std::string& npcDir) {
    npcbench::TTableOptions o;
    o.serverPath = VELMORA_SERVER_PATH;
    o.clientPath = VELMORA_CLIENT_PATH;
    o.facesDir = VELMORA_FACES_DIR;
    o.npcDir = npcDir;
    o.seed = seed;
    o.accuseAnywhere = accuseAnywhere;
    o.maxRounds = 150;
    // Generous: sanitizer builds on a loaded machine.
    o.stallSeconds = 120;
    return o;
}

std::string Describe(const npcbench::TGameResult& r) {
    std::string s = "winner " + std::to_string(r.winner) + ", rounds " + std::to_string(r.rounds) + ", out";
    for (int seat : r.out) s += " " + std::to_string(seat);
    s += r.stalled ? ", stalled" : "";
    s += r.error.empty() ? "" : ", " + r.error;
    return s + "\nlast state: " + r.lastState + "\nclient log:\n" + r.clientLog;
}

struct WinCase {
    const char* name;
    uint32_t seed;
    bool accuseAnywhere;
};

class ComputerPlayersWin : public ::testing::TestWithParam<WinCase> {};

// The shipped players finish: a computer player wins, nobody accuses wrongly,
// no turn stalls, no script event fails.
TEST_P(ComputerPlayersWin, AgainstAPersonWhoNeverAccuses) {
    const WinCase& c = GetParam();
    npcbench::TGameResult r = npcbench::PlayTable(Options(c.seed, c.accuseAnywhere, VELMORA_NPC_DIR));
    ASSERT_TRUE(r.played) << Describe(r);
    EXPECT_GE(r.winner, 1) << Describe(r);
    EXPECT_LE(r.winner, 5) << Describe(r);
    EXPECT_TRUE(r.out.empty()) << Describe(r);
    EXPECT_FALSE(r.stalled) << Describe(r);
    EXPECT_EQ(r.failedEvents, 0) << Describe(r);
}

INSTANTIATE_TEST_SUITE_P(Seeds, ComputerPlayersWin,
                         ::testing::Values(WinCase{"seed1_anywhere", 1, true}, WinCase{"seed2_anywhere", 2, true},
                                           WinCase{"seed3_on_the_spot", 3, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The first computer player's script (the face 黄山忠助 of seat 1).
const char kFirstPlayer[] = "\xe9\xbb\x84\xe5\xb1\xb1\xe5\xbf\xa0\xe5\x8a\xa9.sc";

// A copy of the shipped scripts in which one script is replaced; removed with
// the holder.
struct BrokenScripts {
    fs::path dir;
    BrokenScripts(const char* file, const std::string& source) {
        dir = fs::temp_directory_path() / ("velmora_broken_npc_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::copy(VELMORA_NPC_DIR, dir, fs::copy_options::recursive);
        std::ofstream(dir / file, std::ios::binary | std::ios::trunc) << source;
    }
    ~BrokenScripts() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

struct BrokenCase {
    const char* name;
    const char* source;
    const char* logged;  // what the client's log must say about it
    const char* file = kFirstPlayer;  // the script replaced
};

// The four names a computer player's script needs, and a global object whose
// constructor never ends.
const char kEndlessConstructor[] =
    "int gMyIndex;\nint gMyUserId;\nexport gMyIndex;\nexport gMyUserId;\n"
    "void OnTurn() { }\nexport OnTurn;\nvoid OnOtherSuiriCheck(int a, int b, int c) { }\nexport OnOtherSuiriCheck;\n"
    "class C { public: int v; C() { v = 0; while (1) { v = v + 1; } } };\nC c;\n";

class BrokenScriptTable : public ::testing::TestWithParam<BrokenCase> {};

// One broken script does not stop the table: the game still ends with a win of
// another computer player.
TEST_P(BrokenScriptTable, StillFinishes) {
    const BrokenCase& c = GetParam();
    BrokenScripts scripts(c.file, c.source);
    npcbench::TGameResult r = npcbench::PlayTable(Options(4, true, scripts.dir.string()));
    ASSERT_TRUE(r.played) << Describe(r);
    EXPECT_GE(r.winner, 1) << Describe(r);
    EXPECT_TRUE(r.out.empty()) << Describe(r);
    EXPECT_FALSE(r.stalled) << Describe(r);
    EXPECT_NE(r.clientLog.find(c.logged), std::string::npos) << Describe(r);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, BrokenScriptTable,
    ::testing::Values(
        BrokenCase{"loop_in_OnTurn",
                   "int gMyIndex;\nint gMyUserId;\nexport gMyIndex;\nexport gMyUserId;\n"
                   "void OnTurn() { int n = 0; while (1) n++; }\nexport OnTurn;\n"
                   "void OnOtherSuiriCheck(int a, int b, int c) { while (1) a++; }\nexport OnOtherSuiriCheck;\n",
                   "stopped in OnTurn"},
        BrokenCase{"no_OnOtherSuiriCheck",
                   "int gMyIndex;\nint gMyUserId;\nexport gMyIndex;\nexport gMyUserId;\n"
                   "void OnTurn() { }\nexport OnTurn;\n",
                   "OnOtherSuiriCheck"},
        // The seat plays default.sc.
        BrokenCase{"endless_constructor", kEndlessConstructor, "Instruction budget used up"},
        // Every seat without a script of its own, the person's too: each client
        // sets it aside and the game starts.
        BrokenCase{"endless_constructor_in_default", kEndlessConstructor, "Instruction budget used up",
                   "default.sc"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
