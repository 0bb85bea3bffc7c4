// The computer players' scripts: their reasoning on small driver scripts, and
// whole games of the shipped characters at a table without windows or network.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "BoardTables.h"
#include "Compiler.h"
#include "Engine.h"
#include "FakeTable.h"
#include "GameRules.h"
#include "Instance.h"
#include "TextCodec.h"

namespace {

const std::string kNpcDir = NPC_DIR;

// The shipped scripts: the default player and one per character of the setup
// dialog (file names in UTF-8).
const char* const kScripts[] = {"default.sc", "黄山忠助.sc", "白鳳院雛子.sc", "グリーン牧師.sc", "水那祥子.sc",
                                "紫条院隆典.sc"};

class Players : public ::testing::Test {
protected:
    static void SetUpTestSuite() { npctest::RegisterGameFunctions(); }
};

// A driver script over the reasoning alone, with exported helpers that take
// and give card codes.
class Brain : public Players {
protected:
    void SetUp() override {
        std::string text = "import int get_map(int x, int y);\n#include \"" + kNpcDir + "/brain.h\"\n" + R"(
int gCheck[3][10];
void Reset() { int r, i; KnowReset(); for (r = 0; r < 3; r++) for (i = 0; i < 10; i++) gCheck[r][i] = 0; }
void Hold(int code) { int c = CardOfCode(code); gCheck[CatOf(c)][c - CatFirst(CatOf(c))] = 1; KnowHand(&gCheck[0][0]); }
void Shown(int code) { KnowShown(CardOfCode(code)); }
void Nobody(int room, int person, int weapon) { KnowNobody(CardOfCode(room), CardOfCode(person), CardOfCode(weapon)); }
int Sure() { return Certain(); }
int CulpritCode(int cat) { int c = Culprit(cat); if (c < 0) return -1; return CodeOfCard(c); }
int Know(int code) { return gKnow[CardOfCode(code)]; }
int Best(int room, int salt) { BestQuery(room, salt); return CodeOfCard(gBestPerson) * 100 + CodeOfCard(gBestWeapon); }
int ValueMilli(int room, int person, int weapon) { return (int)(QueryValue(CardOfCode(room), CardOfCode(person), CardOfCode(weapon)) * 1000.0); }
int Show(int c1, int c2, int c3, int suggester, int rankPerson, int rankWeapon, int rankRoom)
{
    int rank[3];
    rank[0] = rankPerson;
    rank[1] = rankWeapon;
    rank[2] = rankRoom;
    return ChooseShow(c1, c2, c3, suggester, rank);
}
void Showed(int code, int seat) { RecordShown(code, seat); }
int Dist(int x, int y, int room, int target) { Distances(x, y, room); return gDist[target]; }
export Reset;
export Hold;
export Shown;
export Nobody;
export Sure;
export CulpritCode;
export Know;
export Best;
export ValueMilli;
export Show;
export Showed;
export Dist;
)";
        image_ = scCompile_Text(text.c_str());
        ASSERT_NE(image_, nullptr) << scLast_Error_Text;
        inst_ = scCreate_Instance(image_);
        ASSERT_NE(inst_, nullptr) << scLast_Error_Text;
        Call("Reset");
    }
    void TearDown() override {
        if (inst_) scFree_Instance(inst_);
        std::free(image_);
    }
    int Call(const char* name, std::vector<int> args = {}) {
        int symbol = scGet_Symbol(inst_, name);
        EXPECT_GE(symbol, 0) << name;
        zedi::ClearError();
        int r = scVCall_Instance(inst_, symbol, int(args.size() * 4), args.data());
        EXPECT_EQ(scLast_Error, 0) << name << ": " << scLast_Error_Text;
        return r;
    }
    scScript image_ = nullptr;
    scInstance* inst_ = nullptr;
};

// What the player learns: a step is a hand card ('h'), a card shown to it ('s'),
// or a suggestion nobody could answer ('n', room person weapon).
struct Fact {
    char kind;
    int a, b = 0, c = 0;
};

TEST_F(Brain, LearnsOnlyWhatFollows) {
    struct Case {
        const char* name;
        std::vector<Fact> facts;
        int person, weapon, room;  // culprits expected (-1 open)
        int certain;
    } cases[] = {
        {"the last open card of a category is its culprit",
         {{'h', 10}, {'h', 11}, {'s', 12}, {'s', 13}, {'s', 14}},
         15, -1, -1, 0},
        {"nobody answers: the cards not in my hand are culprits",
         {{'h', 10}, {'h', 20}, {'n', 33, 10, 24}},
         -1, 24, 33, 0},
        {"nobody answers my own cards: nothing is learnt",
         {{'h', 10}, {'h', 20}, {'h', 30}, {'n', 30, 10, 20}},
         -1, -1, -1, 0},
        {"certain once all three are known",
         {{'h', 10}, {'h', 20}, {'h', 30}, {'n', 31, 10, 20}, {'s', 11}, {'s', 12}, {'s', 13}, {'s', 14},
          {'n', 31, 10, 25}},
         15, 25, 31, 1},
        {"a culprit that is later shown makes it never certain",
         {{'h', 10}, {'h', 20}, {'h', 30}, {'n', 31, 10, 20}, {'s', 11}, {'s', 12}, {'s', 13}, {'s', 14},
          {'n', 31, 10, 25}, {'s', 25}},
         15, 25, 31, 0},
        {"two culprits of one category make it never certain",
         {{'h', 10}, {'h', 20}, {'n', 30, 10, 20}, {'n', 31, 10, 20}, {'n', 32, 11, 21}},
         11, 21, 30, 0},
        {"shown cards of every category but one each",
         {{'s', 10}, {'s', 11}, {'s', 12}, {'s', 13}, {'s', 14}, {'s', 20}, {'s', 21}, {'s', 22}, {'s', 23},
          {'s', 25}, {'s', 30}, {'s', 31}, {'s', 32}, {'s', 33}, {'s', 34}, {'s', 35}, {'s', 36}, {'s', 38}},
         15, 24, 37, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Call("Reset");
        for (const Fact& f : c.facts) {
            if (f.kind == 'h') Call("Hold", {f.a});
            if (f.kind == 's') Call("Shown", {f.a});
            if (f.kind == 'n') Call("Nobody", {f.a, f.b, f.c});
        }
        EXPECT_EQ(Call("Sure"), c.certain);
        EXPECT_EQ(Call("CulpritCode", {0}), c.person);
        EXPECT_EQ(Call("CulpritCode", {1}), c.weapon);
        EXPECT_EQ(Call("CulpritCode", {2}), c.room);
    }
    // Once the culprit is known, the rest of its category is in other hands.
    Call("Reset");
    Call("Hold", {20});
    Call("Nobody", {30, 10, 20});
    EXPECT_EQ(Call("Know", {10}), 3);
    EXPECT_EQ(Call("Know", {11}), 2);
    EXPECT_EQ(Call("Know", {20}), 1);
}

TEST_F(Brain, SuggestsWhatTeachesMost) {
    // My hand: suspect 0, weapon 0, room 0. In room 0 nobody else can show the
    // room, so the best suggestion asks one open card beside one of mine: a
    // "nobody" answer then pins it.
    for (int code : {10, 20, 30}) Call("Hold", {code});
    for (int salt : {0, 7, 35}) {
        int best = Call("Best", {0, salt}), person = best / 100, weapon = best % 100;
        EXPECT_TRUE((person == 10) != (weapon == 20)) << person << " " << weapon;
    }
    // Cards known to be in other hands are not asked while open ones remain.
    Call("Shown", {11});
    Call("Shown", {21});
    for (int room = 0; room < 9; room++) {
        int best = Call("Best", {room, 3});
        EXPECT_NE(best / 100, 11) << room;
        EXPECT_NE(best % 100, 21) << room;
    }
    // A known culprit stands in for the own card it is: here the suspects are
    // solved and I hold none, so the suggestion names the culprit.
    Call("Reset");
    Call("Hold", {20});
    Call("Hold", {30});
    Call("Nobody", {30, 15, 20});
    EXPECT_EQ(Call("Best", {0, 1}) / 100, 15);
    // An open room is worth a visit: asking it alone beside my own cards.
    EXPECT_GT(Call("ValueMilli", {33, 15, 20}), 0);
    EXPECT_GT(Call("ValueMilli", {33, 15, 20}), Call("ValueMilli", {33, 12, 20}));
    // Nothing is learnt from a suggestion of known cards.
    EXPECT_EQ(Call("ValueMilli", {30, 15, 20}), 0);
}

TEST_F(Brain, ShowsTheCardTheSuggesterHasSeen) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> before;  // code shown to seat
        int c1, c2, c3, suggester;
        int rank[3];
        int expect;
    } cases[] = {
        {"no card", {}, -1, -1, -1, 2, {0, 0, 0}, -1},
        {"the only card", {}, -1, 12, -1, 2, {0, 0, 0}, 12},
        {"the character's liking decides a first answer", {}, 31, 12, 23, 2, {0, 5, 1}, 23},
        {"the card this suggester has seen wins", {{31, 2}, {23, 4}}, 31, 12, 23, 2, {0, 5, 1}, 31},
        {"else a card shown to somebody", {{12, 4}}, 31, 12, 23, 2, {0, 5, 1}, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Call("Reset");
        for (auto [code, seat] : c.before) Call("Showed", {code, seat});
        EXPECT_EQ(Call("Show", {c.c1, c.c2, c.c3, c.suggester, c.rank[0], c.rank[1], c.rank[2]}), c.expect);
    }
}

// Steps counted by walking the route table from a corridor cell, the door step
// included; -1 when it leads nowhere.
int RouteSteps(int x, int y, int target) {
    const auto& route = client::RouteTable()[target];
    for (int n = 0; n < 600; n++) {
        if (!client::OnBoard(x, y)) return -1;
        int code = route[client::CellIndex(x, y)];
        if (code > 3) return code == 1 ? -1 : n;
        x += code == 2 ? -1 : code == 3 ? 1 : 0;
        y += code == 0 ? -1 : code == 1 ? 1 : 0;
    }
    return -1;
}

TEST_F(Brain, MeasuresTheShortestWalks) {
    // From corridor cells: the route table's own walk, which is shortest.
    for (int cell = 0; cell < 600; cell++) {
        int x = cell % BoardWidth, y = cell / BoardWidth;
        if (BoardMap[cell] != 0) continue;
        for (int target = 0; target < 10; target++)
            ASSERT_EQ(Call("Dist", {x, y, -1, target}), RouteSteps(x, y, target)) << x << "," << y << " to " << target;
    }
    // From a room: one step out by the best exit, then the walk.
    for (int room = 0; room < 9; room++) {
        for (int target = 0; target < 10; target++) {
            if (target == room) continue;
            int best = -1;
            for (int dir = 0; dir < 4; dir++)
                for (bool second : {false, true}) {
                    int x, y;
                    if (second && room != 0 && room != 4) continue;
                    if (!client::ExitCell(room, dir, second, x, y)) continue;
                    int n = RouteSteps(x, y, target);
                    if (n >= 0 && (best < 0 || n + 1 < best)) best = n + 1;
                }
            EXPECT_EQ(Call("Dist", {0, 0, room, target}), best) << room << " to " << target;
        }
    }
    // From the accusation spot the way leads down first.
    EXPECT_EQ(Call("Dist", {0, 0, 9, 0}), RouteSteps(12, 17, 0) + 1);
}

struct Image {
    std::unique_ptr<npctest::Image> image;
    std::string error;
};

Image Load(const std::string& file) {
    Image i;
    i.image = npctest::CompileScript(kNpcDir + "/" + file, i.error);
    return i;
}

TEST_F(Players, EveryShippedScriptCompiles) {
    for (const char* file : kScripts) {
        Image i = Load(file);
        EXPECT_NE(i.image, nullptr) << file << ": " << i.error;
    }
}

// Whole games at a table of one passive person and five computer players: every
// game ends with a computer player's win, nobody accuses wrongly, no turn stalls,
// each turn ends once, and each card shown answers the suggestion (and is one the
// suggester has seen where it could be).
TEST_F(Players, FinishGamesWithoutAWrongAccusation) {
    struct Case {
        const char* name;
        std::vector<const char*> files;  // seats 1-5 in turn
        bool accuseAnywhere;
        std::vector<uint32_t> seeds;
    } cases[] = {
        {"default players, accusation anywhere", {"default.sc"}, true, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"default players, accusation on the spot", {"default.sc"}, false, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"the five characters", {"黄山忠助.sc", "白鳳院雛子.sc", "グリーン牧師.sc", "水那祥子.sc", "紫条院隆典.sc"},
         true, {11, 12, 13, 14, 15, 16}},
        {"the five characters on the spot", {"黄山忠助.sc", "白鳳院雛子.sc", "グリーン牧師.sc", "水那祥子.sc", "紫条院隆典.sc"},
         false, {21, 22, 23, 24, 25, 26}},
    };
    for (const Case& c : cases) {
        std::vector<Image> images;
        std::vector<scScript> scripts;
        for (const char* f : c.files) {
            images.push_back(Load(f));
            ASSERT_NE(images.back().image, nullptr) << f << ": " << images.back().error;
            scripts.push_back(images.back().image->image);
        }
        for (uint32_t seed : c.seeds) {
            SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(seed));
            npctest::Table table(seed, c.accuseAnywhere, scripts);
            EXPECT_TRUE(table.Play(100)) << table.fault << "\n" << table.TraceTail(40);
            EXPECT_GE(table.winner, 1);
            EXPECT_TRUE(table.wrongAccusations.empty());
        }
    }
}

// The guide's example script, saved as Shift-JIS as the guide says, compiles and
// plays whole games beside four default players without breaking a rule.
TEST_F(Players, TheGuidesExamplePlays) {
    std::ifstream doc(SCRIPTING_GUIDE);
    std::stringstream text;
    text << doc.rdbuf();
    std::string guide = text.str();
    size_t section = guide.find("## An example");
    ASSERT_NE(section, std::string::npos);
    size_t begin = guide.find("```c\n", section);
    ASSERT_NE(begin, std::string::npos);
    begin += 5;
    size_t end = guide.find("```", begin);
    ASSERT_NE(end, std::string::npos);
    std::string path = "/tmp/velmora_guide_example_" + std::to_string(getpid()) + ".sc";
    std::ofstream(path, std::ios::binary) << plat::Utf8ToSjis(guide.substr(begin, end - begin));
    std::string error;
    auto example = npctest::CompileScript(path, error);
    std::remove(path.c_str());
    ASSERT_NE(example, nullptr) << error;
    Image plain = Load("default.sc");
    ASSERT_NE(plain.image, nullptr) << plain.error;
    std::vector<scScript> seats = {example->image, plain.image->image, plain.image->image, plain.image->image,
                                   plain.image->image};
    for (uint32_t seed : {31u, 32u}) {
        for (bool anywhere : {true, false}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + (anywhere ? ", anywhere" : ", on the spot"));
            npctest::Table table(seed, anywhere, seats);
            EXPECT_TRUE(table.Play(100)) << table.fault << "\n" << table.TraceTail(20);
            EXPECT_TRUE(table.wrongAccusations.empty());
        }
    }
}

// What the characters say is Shift-JIS text of one line.
TEST_F(Players, ChatIsOneLineOfShiftJis) {
    for (const char* file : kScripts) {
        SCOPED_TRACE(file);
        Image i = Load(file);
        ASSERT_NE(i.image, nullptr) << i.error;
        npctest::Table table(7, true, {i.image->image});
        for (int moment = 0; moment < 7; moment++)
            for (int arg = 0; arg < 6; arg++)
                for (int again = 0; again < 4; again++) table.Raise(1, "Say", {moment, arg});
        table.RunQueue();
        EXPECT_TRUE(table.fault.empty()) << table.fault;
        EXPECT_FALSE(table.chats.empty());
        for (const std::string& text : table.chats) {
            EXPECT_FALSE(text.empty());
            for (unsigned char ch : text) EXPECT_GE(ch, 0x20) << plat::SjisToUtf8(text);
            EXPECT_EQ(plat::SjisToUtf8(text).find("\xEF\xBF\xBD"), std::string::npos) << plat::SjisToUtf8(text);
        }
    }
}

}  // namespace
