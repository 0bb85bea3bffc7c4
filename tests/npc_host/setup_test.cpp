// Setting up the six seats' scripts at each start: which file each seat
// gets, the compiled cache, scripts that cannot be set up, and the globals
// the client writes.
#include <sys/stat.h>

#include "HostFixture.h"
#include "RunInChild.h"
#include "VmSpace.h"

namespace {

using hosttest::Host;
using hosttest::kProbe;
namespace fs = std::filesystem;

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::string WithoutExport(const std::string& text, const std::string& name) {
  std::string s = text;
  size_t at = s.find("export " + name + ";\n");
  if (at != std::string::npos) s.erase(at, name.size() + 9);
  return s;
}

TEST_F(Host, EachSeatGetsItsOwnScriptItsCacheOrTheDefault) {
  Script("c2", kProbe);
  Table();
  Line("START 1,0");
  std::string d = dir.string();
  EXPECT_EQ(host->ScriptFile(2), d + "/c2.sc");
  EXPECT_EQ(host->ScriptFile(3), d + "/default.sc");
  EXPECT_EQ(host->ScriptFile(0), d + "/default.sc");
  // The compiled images were written beside their sources, whole.
  struct stat st {};
  ASSERT_EQ(::stat((dir / "c2.so").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, scGet_Script_Size(Inst(2)->image));
  EXPECT_TRUE(fs::exists(dir / "default.so"));
  // Without the sources the images serve.
  fs::remove(dir / "c2.sc");
  fs::remove(dir / "default.sc");
  Line("START 1,0");
  EXPECT_EQ(host->ScriptFile(2), d + "/c2.so");
  EXPECT_EQ(host->ScriptFile(3), d + "/default.so");
  EXPECT_EQ(Global(2, "gMyIndex"), 2);
  EXPECT_TRUE(problems.empty());
}

TEST_F(Host, AScriptThatCannotBeSetUpIsShownOnceAndTheSeatPlaysTheDefault) {
  Script("c3", "int x = ;\n");
  Script("c4", WithoutExport(kProbe, "OnOtherSuiriCheck"));
  Script("c5", WithoutExport(kProbe, "gMyIndex"));
  Script("alice", "int y = ;\n");                          // a person's seat: logged only
  Script("bob", WithoutExport(kProbe, "OnOtherSuiriCheck"));  // never played: kept
  Table();
  Line("START 1,0");
  std::string d = dir.string();
  for (int s : {3, 4, 5, 0}) EXPECT_EQ(host->ScriptFile(s), d + "/default.sc") << s;
  EXPECT_EQ(host->ScriptFile(1), d + "/bob.sc");
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_TRUE(Contains(problems[0], d + "/c3.sc")) << problems[0];
  EXPECT_TRUE(Contains(problems[0], "(  1) Error :")) << problems[0];  // the engine's text with the line
  EXPECT_TRUE(Contains(problems[1], "c4.sc")) << problems[1];
  EXPECT_TRUE(Contains(problems[1], "OnOtherSuiriCheck")) << problems[1];
  EXPECT_TRUE(Contains(problems[2], "gMyIndex")) << problems[2];
  bool logged = false;
  for (const auto& l : logs) logged = logged || Contains(l, d + "/alice.sc");
  EXPECT_TRUE(logged);
  // The next start shows nothing again; the log has it again.
  size_t before = logs.size();
  Line("START 1,0");
  EXPECT_EQ(problems.size(), 3u);
  EXPECT_GT(logs.size(), before);
  EXPECT_FALSE(view.Called("close"));
}

// A script whose global object's constructor never ends does not load: its
// seat plays the default, and the table goes on; one whose destructor never
// ends is freed at the next start all the same. Each routine may run as many
// instructions as an event. Run in a child process, so that a hang fails.
TEST_F(Host, AScriptWhoseGlobalObjectNeverEndsIsSetAsideOrFreed) {
  Script("c3", std::string(kProbe) + "class C { public: int v; C() { v = 0; while (1) { v = v + 1; } } };\nC c;\n");
  Script("c4", std::string(kProbe) + "class D { public: int v; ~D() { while (1) { v = v + 1; } } };\nD d;\n");
  host->SetEventBudget(1'000'000);
  Table();
  const std::string d = dir.string();
  int rc = testutil::RunInChild(
      [&] {
        Line("START 1,0");
        for (const auto& p : problems) std::fprintf(stderr, "problem: %s\n", p.c_str());
        if (host->ScriptFile(3) != d + "/default.sc" || host->ScriptFile(4) != d + "/c4.sc") return 1;
        if (problems.size() != 1 || !Contains(problems[0], d + "/c3.sc") ||
            !Contains(problems[0], "Instruction budget used up"))
          return 2;
        if (view.Called("close")) return 3;
        Line("START 1,0");  // frees the first start's instances
        bool logged = false;
        for (const auto& l : logs) logged = logged || (Contains(l, "c4.sc") && Contains(l, "clean-up was stopped"));
        if (!logged || problems.size() != 1) return 4;
        return 0;
      },
      60);
  EXPECT_EQ(rc, 0) << "-1: still running; 1: the seats' scripts; 2: the problem shown; 3: closed; 4: the free";
}

struct EndCase {
  const char* name;
  int mySeat;
  std::vector<const char*> scripts;  // the only scripts in the folder
  bool closes;
};

class NoScript : public Host, public ::testing::WithParamInterface<EndCase> {};

// Only the host's computer players are played by their scripts: a start that
// leaves one of them with none ends the program, as nothing could play it.
TEST_P(NoScript, EndsTheProgramOnlyForAComputerPlayerOfTheHost) {
  const EndCase& c = GetParam();
  fs::remove(dir / "default.sc");
  for (const char* f : c.scripts) Script(f, kProbe);
  Table(c.mySeat);
  Line("START 1,0");
  EXPECT_EQ(view.Called("close"), c.closes);
  EXPECT_EQ(problems.size(), c.closes ? 1u : 0u);  // why the program ends
}

INSTANTIATE_TEST_SUITE_P(Cases, NoScript,
                         ::testing::Values(EndCase{"NotTheHost", 1, {}, false},
                                           EndCase{"PeopleWithout", 0, {"c2", "c3", "c4", "c5"}, false},
                                           EndCase{"AComputerPlayerWithout", 0, {"c2", "c3", "c4"}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FaceCase {
  const char* name;
  std::string face;  // Shift-JIS
  std::string file;  // UTF-8 file name in the folder, "" none
  bool own;          // the seat gets that file
};

class FaceName : public Host, public ::testing::WithParamInterface<FaceCase> {};

TEST_P(FaceName, BecomesAFileNameOnlyWhenPlain) {
  const FaceCase& c = GetParam();
  fs::create_directories(dir / "sub");
  if (!c.file.empty()) {
    fs::create_directories((dir / c.file).parent_path());
    std::ofstream(dir / c.file, std::ios::binary) << kProbe;
  }
  Table();
  client::TCoreTestAccess::Seat(core, 2).SetFace(c.face);
  Line("START 1,0");
  EXPECT_EQ(host->ScriptFile(2), c.own ? (dir / c.file).string() : (dir / "default.sc").string());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FaceName,
    ::testing::Values(
        // ソ and 表 end in the byte of "\": their trail bytes, not separators.
        FaceCase{"TrailByte5C", "\x83\x5c\x95\x5c", "\xe3\x82\xbd\xe8\xa1\xa8.sc", true},
        FaceCase{"Slash", "sub/x", "sub/x.sc", false}, FaceCase{"Backslash", "sub\\x", "sub\\x.sc", false},
        FaceCase{"DotDot", "..", "..sc", false}, FaceCase{"TwoDotsInside", "a..b", "a..b.sc", false},
        FaceCase{"LoneLeadByte", "ab\x83", "", false},
        FaceCase{"TooLong", std::string(64, 'x'), std::string(64, 'x') + ".sc", false},
        FaceCase{"LongestPlain", std::string(63, 'y'), std::string(63, 'y') + ".sc", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Host, ACacheThatCannotBeWrittenIsNoFailure) {
  Script("c5", kProbe);
  fs::create_directories(dir / "c5.so");
  Table();
  Line("START 1,0");
  EXPECT_EQ(host->ScriptFile(5), (dir / "c5.sc").string());
  bool logged = false;
  for (const auto& l : logs) logged = logged || Contains(l, "c5.so");
  EXPECT_TRUE(logged);
  EXPECT_TRUE(problems.empty());
}

TEST_F(Host, GlobalsAtStartAndCardAndWithinTheDataArea) {
  // A script whose card table has room for one card, at the end of its data.
  Script("c3",
         "#include game\nint gMyIndex;\nint gMyUserId;\nint gCardCount;\nint gMyCard[2];\n"
         "void OnTurn() { }\nvoid OnOtherSuiriCheck(int a, int b, int c) { }\n"
         "export gMyIndex;\nexport gMyUserId;\nexport gCardCount;\nexport gMyCard;\nexport OnTurn;\n"
         "export OnOtherSuiriCheck;\n");
  Table();
  Line("START 1,0");
  for (int s = 0; s < 6; ++s) {
    EXPECT_EQ(Global(s, "gMyIndex"), s);
    EXPECT_EQ(Global(s, "gMyUserId"), core.Seats()[s].UserNo);
  }
  EXPECT_EQ(Global(2, "gX"), core.Seats()[2].X());
  EXPECT_EQ(Global(4, "gY"), core.Seats()[4].Y());
  LineTo("CARD 3,13,22,36", 10);
  LineTo("CARD 3,13,22,36", 11);
  RunScripts();
  EXPECT_EQ(Global(2, "gCardCount"), 3);
  // Rooms first, then suspects, then weapons.
  const int cards[6] = {3, 6, 1, 3, 2, 2};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Global(2, "gMyCard", i), cards[i]) << i;
  for (int i = 0; i < 180; ++i) {
    bool own = i == (2 * 3 + 0) * 10 + 3 || i == (2 * 3 + 1) * 10 + 2 || i == (2 * 3 + 2) * 10 + 6;
    EXPECT_EQ(Global(2, "gKestCheck", i), own ? 1 : 0) << i;
  }
  EXPECT_EQ(Events(2, "OnInit"), 1);
  EXPECT_EQ(Global(3, "gCardCount"), 3);
  EXPECT_EQ(Global(3, "gMyCard", 0), 3);
  EXPECT_EQ(Global(3, "gMyCard", 1), 6);
  EXPECT_EQ(scLast_Error, 0);
}

TEST_F(Host, MovesOfEverySeatReachItsGlobals) {
  Table();
  Line("START 1,1");
  Line("MOVE 1,7,20,2");
  EXPECT_EQ(Global(1, "gX"), 7);
  EXPECT_EQ(Global(1, "gY"), 20);
  Line("INROOM 4,1,0");
  EXPECT_EQ(Global(4, "gX"), RoomTable[1][8 + 2 * 4]);
  EXPECT_EQ(Global(4, "gY"), RoomTable[1][9 + 2 * 4]);
  Line("OUTROOM 4,1,0");
  EXPECT_EQ(Global(4, "gX"), 6);
  EXPECT_EQ(Global(4, "gY"), 18);
  // A suggestion brings its suspect into the room.
  Line("SUIRI 0,7,13,2");
  EXPECT_EQ(Global(3, "gX"), RoomTable[7][8 + 2 * 3]);
  EXPECT_EQ(Global(3, "gY"), RoomTable[7][9 + 2 * 3]);
}

// The host's record of its computer player is newer than the copies of the
// moves it sent: an older copy does not take the piece back.
TEST_F(Host, OlderCopiesOfTheHostsOwnMovesDoNotTakeThePieceBack) {
  Dealt();
  Turn(2);
  Place(2, 7, 20, 0, 3, true);
  ASSERT_EQ(Call(2, "go", 1), 0);
  ASSERT_EQ(Call(2, "go", 1), 0);
  EXPECT_EQ(core.Seats()[2].Y(), 18);
  Line("MOVE 2,7,19,2");
  EXPECT_EQ(core.Seats()[2].Y(), 18);
  EXPECT_EQ(core.Seats()[2].GetSteps(), 1);
  Line("MOVE 2,7,18,1");
  EXPECT_EQ(core.Seats()[2].Y(), 18);
  EXPECT_EQ(core.Seats()[2].GetSteps(), 1);
  ASSERT_EQ(Call(2, "go", 1), 0);  // (6,18), then the door
  Line("MOVE 2,6,18,0");
  EXPECT_EQ(core.Seats()[2].X(), 6);
}

TEST_F(Host, InstancesAndNamesLiveUntilTheNextStart) {
  Table();
  Line("START 1,0");
  uint32_t first = scInstance_Handle(Inst(2));
  ASSERT_NE(first, 0u);
  int name = Call(2, "name", 4);
  EXPECT_STREQ(reinterpret_cast<const char*>(zedi::VmSpace::Get().Ptr(uint32_t(name))), "c4");
  Line("START 1,0");
  EXPECT_EQ(scInstance_From_Handle(first), nullptr);
  EXPECT_NE(Inst(2), nullptr);
  uint32_t second = scInstance_Handle(Inst(2));
  host.reset();
  EXPECT_EQ(scInstance_From_Handle(second), nullptr);
}

}  // namespace
