// A table of the board game without windows or network, for the computer
// players' scripts: the game's functions as test doubles, the events raised as
// the client raises them (queued while a script runs), and the rules the server
// keeps (deal, answers to suggestions, verdicts). Seat 0 is a person who never
// moves or accuses and shows the first matching card; seats 1-5 run scripts.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Instance.h"

namespace npctest {

// A compiled script image, freed with the holder.
struct Image {
    scScript image = nullptr;
    Image() = default;
    explicit Image(scScript i) : image(i) {}
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
};

// Compiles a script file; on failure returns null and says why in `error`.
std::unique_ptr<Image> CompileScript(const std::string& path, std::string& error);

// Registers the game's functions (test doubles acting on the current table).
void RegisterGameFunctions();

struct Seat {
    scInstance* inst = nullptr;
    std::vector<int> hand;  // card codes
    int x = 0, y = 0;
    int place = 0;          // 0 corridor, room + 1, 10 the accusation spot
    int steps = 0;
    bool diceDone = false;
    bool out = false;       // made a wrong accusation
    char* name = nullptr;   // in script memory, for get_name
};

struct Event {
    int seat;
    std::string name;
    std::vector<int> params;
};

class Table {
public:
    // Deals for `seed`; seats 1-5 run `images[seat - 1]`.
    Table(uint32_t seed, bool accuseAnywhere, const std::vector<scScript>& images);
    ~Table();

    // Plays until a win, everybody is out, or `maxRounds` rounds. Returns false
    // with `fault` set when a rule was broken or a turn stalled.
    bool Play(int maxRounds);

    // Single events for tests of one script: raise and run until quiet.
    void Raise(int seat, const std::string& name, std::vector<int> params = {});
    void RunQueue();

    // Results and what was seen.
    int winner = -1;
    int rounds = 0;
    std::vector<int> wrongAccusations;  // seats
    std::vector<std::string> chats;     // Shift-JIS texts
    std::vector<int> shown;             // codes shown by scripts, in order
    std::string fault;
    std::vector<std::string> trace;     // suggestions, answers and accusations
    std::string TraceTail(size_t lines) const;
    int solution[3];                    // person, weapon, room codes

    // Host side of the game functions.
    int CallerSeat() const;
    int TurnSeat() const { return turn_; }
    Seat& At(int seat) { return seats_[seat]; }
    bool accuseAnywhere;
    uint32_t Random(uint32_t n);
    void Fault(const std::string& what);

    int Saikoro(int seat);
    int MoveTo(int seat, int target);
    int TurnEnd(int seat, bool afterSuggestion);
    int Suiri(int seat, int person, int weapon);
    int ShowCard(int seat, int code);
    int Kokuso(int seat, int room, int person, int weapon);
    void WriteGlobal(int seat, const char* name, const int* values, int count);

private:
    void Deal();
    void SetUpScripts(const std::vector<scScript>& images);
    void Enter(int seat, int room);
    void Arrive(int seat);
    void AskNext();
    void Answer(int code);
    void UpdatePosition(int seat);
    std::vector<int> Matching(int seat) const;

    Seat seats_[6];
    std::deque<Event> queue_;
    uint32_t rng_;
    int turn_ = 0;
    bool turnEnded_ = false;
    bool suggested_ = false;
    bool gameOver_ = false;
    // The suggestion being answered.
    int suggestion_[3] = {0, 0, 0};  // room, person, weapon codes
    int responder_ = -1;
    int asked_ = -1;                 // seat whose answer is awaited, -1 none
};

}  // namespace npctest
