#include "FakeTable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "BoardTables.h"
#include "Compiler.h"
#include "Engine.h"
#include "Format.h"
#include "GameHeader.h"
#include "GameRules.h"
#include "HostCall.h"
#include "StartCells.h"

namespace npctest {

namespace {

Table* g_table = nullptr;

constexpr int kPassive = 0;
constexpr int kSpotX = 12, kSpotY = 16;

int CellOf(const Seat& s) { return s.x + BoardWidth * s.y; }

// Steps from a corridor cell to the target along the route table, -1 none.
int RouteLength(int x, int y, int target) {
    const auto& route = client::RouteTable()[target];
    for (int n = 0; n < 600; n++) {
        if (!client::OnBoard(x, y)) return -1;
        int code = route[client::CellIndex(x, y)];
        if (code > 3) return code == 1 ? -1 : n;
        if (code == 0) y--;
        else if (code == 1) y++;
        else if (code == 2) x--;
        else x++;
    }
    return -1;
}

Table& T() { return *g_table; }

int HostIsSaikoroDone() {
    int s = T().CallerSeat();
    return s >= 0 && s == T().TurnSeat() && T().At(s).diceDone ? 1 : 0;
}
void HostSaikoro() { T().Saikoro(T().CallerSeat()); }
int HostMoveTo(int room) { return T().MoveTo(T().CallerSeat(), room); }
void HostWait(int) {}
void HostChat(const char* format, scVarArgs args) {
    char out[1024];
    std::string error;
    if (scFormat(out, sizeof out, format, args, &error) < 0) {
        T().Fault("chat: " + error);
        return;
    }
    T().chats.push_back(out);
}
int HostTurnEnd() { return T().TurnEnd(T().CallerSeat(), false); }
int HostTurnEnd2() { return T().TurnEnd(T().CallerSeat(), true); }
int HostRand(int n) { return n <= 0 ? 0 : int(T().Random(uint32_t(n))); }
int HostGetMap(int x, int y) { return client::OnBoard(x, y) ? BoardMap[client::CellIndex(x, y)] : 1; }
int HostGetMyroom() {
    int s = T().CallerSeat();
    if (s < 0 || s != T().TurnSeat()) return -1;
    return T().At(s).place - 1;
}
int HostSuiri(int person, int weapon) { return T().Suiri(T().CallerSeat(), person, weapon); }
int HostShowCard(int code) { return T().ShowCard(T().CallerSeat(), code); }
int HostKokuso(int room, int person, int weapon) { return T().Kokuso(T().CallerSeat(), room, person, weapon); }
int HostIsDokodemoKokuso() { return T().accuseAnywhere ? 1 : 0; }
char* HostGetName(int seat) { return seat >= 0 && seat < 6 ? T().At(seat).name : nullptr; }
// The players do not use these; the game header declares them.
char* HostItoa(int, char* buf) { return buf; }
int HostSqrt(int) { return 0; }
int HostSprintf(char*, const char*, scVarArgs) { return 0; }
int HostKokusoEnd(int) { return -1; }

}  // namespace

Image::~Image() { std::free(image); }

std::unique_ptr<Image> CompileScript(const std::string& path, std::string& error) {
    scScript image = scCompile_File(path.c_str());
    if (!image) {
        error = scLast_Error ? scLast_Error_Text : "cannot open " + path;
        return nullptr;
    }
    return std::make_unique<Image>(image);
}

void RegisterGameFunctions() {
    npc::RegisterGameHeader();
    scRegister_Host_Symbol("is_saikoro_done", HostIsSaikoroDone);
    scRegister_Host_Symbol("saikoro", HostSaikoro);
    scRegister_Host_Symbol("move_to", HostMoveTo);
    scRegister_Host_Symbol("wait", HostWait);
    scRegister_Host_Symbol("chat", HostChat);
    scRegister_Host_Symbol("turn_end", HostTurnEnd);
    scRegister_Host_Symbol("turn_end2", HostTurnEnd2);
    scRegister_Host_Symbol("rand", HostRand);
    scRegister_Host_Symbol("get_map", HostGetMap);
    scRegister_Host_Symbol("get_myroom", HostGetMyroom);
    scRegister_Host_Symbol("suiri", HostSuiri);
    scRegister_Host_Symbol("show_card", HostShowCard);
    scRegister_Host_Symbol("kokuso", HostKokuso);
    scRegister_Host_Symbol("is_dokodemo_kokuso", HostIsDokodemoKokuso);
    scRegister_Host_Symbol("get_name", HostGetName);
    scRegister_Host_Symbol("itoa", HostItoa);
    scRegister_Host_Symbol("sqrt", HostSqrt);
    scRegister_Host_Symbol("sprintf", HostSprintf);
    scRegister_Host_Symbol("kokuso_end", HostKokusoEnd);
}

Table::Table(uint32_t seed, bool anywhere, const std::vector<scScript>& images)
    : accuseAnywhere(anywhere), rng_(seed * 2654435761u + 12345u) {
    g_table = this;
    Deal();
    SetUpScripts(images);
}

Table::~Table() {
    for (Seat& s : seats_) {
        if (s.inst) {
            scKill_Instance(s.inst);
            scFree_Instance(s.inst);
        }
        if (s.name) scFree_Text(s.name);
    }
    if (g_table == this) g_table = nullptr;
}

uint32_t Table::Random(uint32_t n) {
    rng_ = rng_ * 1103515245u + 12345u;
    return (rng_ >> 8) % n;
}

std::string Table::TraceTail(size_t lines) const {
    std::string s;
    for (size_t i = trace.size() > lines ? trace.size() - lines : 0; i < trace.size(); i++) s += trace[i] + "\n";
    return s;
}

void Table::Fault(const std::string& what) {
    if (fault.empty()) fault = what;
}

int Table::CallerSeat() const {
    scInstance* me = scGet_This();
    for (int s = 0; s < 6; s++)
        if (me && seats_[s].inst == me) return s;
    return -1;
}

void Table::Deal() {
    std::vector<int> deck;
    for (int i = 0; i < 6; i++) deck.push_back(10 + i);
    for (int i = 0; i < 6; i++) deck.push_back(20 + i);
    for (int i = 0; i < 9; i++) deck.push_back(30 + i);
    for (size_t i = deck.size(); i > 1; i--) std::swap(deck[i - 1], deck[Random(uint32_t(i))]);
    int firstOf[3] = {10, 20, 30};
    for (int k = 0; k < 3; k++) {
        auto it = std::find_if(deck.begin(), deck.end(), [&](int c) { return c / 10 * 10 == firstOf[k]; });
        solution[k] = *it;
        deck.erase(it);
    }
    for (size_t i = 0; i < deck.size(); i++) seats_[i % 6].hand.push_back(deck[i]);
    for (int s = 0; s < 6; s++) {
        std::sort(seats_[s].hand.begin(), seats_[s].hand.end());
        seats_[s].x = client::kPlayerStartCells[s].x;
        seats_[s].y = client::kPlayerStartCells[s].y;
        std::string name = "P" + std::to_string(s);
        seats_[s].name = scNew_Text(name.c_str());
    }
}

void Table::WriteGlobal(int seat, const char* name, const int* values, int count) {
    scInstance* inst = seats_[seat].inst;
    int offset = scGet_Symbol(inst, name);
    if (offset < 0) return;
    void* p = scGet_Global(inst, offset, count * 4);
    if (!p) {
        Fault(std::string("global ") + name + " is too small");
        return;
    }
    std::memcpy(p, values, size_t(count) * 4);
}

void Table::UpdatePosition(int seat) {
    if (!seats_[seat].inst) return;
    WriteGlobal(seat, "gX", &seats_[seat].x, 1);
    WriteGlobal(seat, "gY", &seats_[seat].y, 1);
}

void Table::SetUpScripts(const std::vector<scScript>& images) {
    for (int s = 1; s < 6; s++) {
        Seat& seat = seats_[s];
        seat.inst = scCreate_Instance(images[size_t(s - 1) % images.size()]);
        if (!seat.inst) {
            Fault(std::string("instance: ") + scLast_Error_Text);
            return;
        }
        int id = 100 + s;
        WriteGlobal(s, "gMyIndex", &s, 1);
        WriteGlobal(s, "gMyUserId", &id, 1);
        UpdatePosition(s);
    }
    // CARD: rooms first, then suspects, then weapons.
    for (int s = 1; s < 6; s++) {
        std::vector<int> cards, check(180, 0);
        for (int mark : {3, 1, 2})
            for (int code : seats_[s].hand)
                if (code / 10 == mark) {
                    cards.push_back(mark);
                    cards.push_back(code % 10);
                    int row = mark == 1 ? 0 : mark == 2 ? 1 : 2;
                    check[size_t((s * 3 + row) * 10 + code % 10)] = 1;
                }
        int count = int(cards.size() / 2);
        WriteGlobal(s, "gCardCount", &count, 1);
        WriteGlobal(s, "gMyCard", cards.data(), int(cards.size()));
        WriteGlobal(s, "gKestCheck", check.data(), 180);
        Raise(s, "OnInit");
    }
    RunQueue();
}

void Table::Raise(int seat, const std::string& name, std::vector<int> params) {
    queue_.push_back({seat, name, std::move(params)});
}

void Table::RunQueue() {
    int budget = 100000;
    while (!queue_.empty() && fault.empty()) {
        if (--budget == 0) {
            Fault("events without end");
            return;
        }
        Event e = queue_.front();
        queue_.pop_front();
        if (e.name == "#ask") {
            AskNext();
            continue;
        }
        if (e.name == "#answer") {
            Answer(e.params[0]);
            continue;
        }
        scInstance* inst = seats_[e.seat].inst;
        if (!inst) continue;
        int symbol = scGet_Symbol(inst, e.name.c_str());
        if (symbol < 0) continue;
        zedi::ClearError();
        scVCall_Instance(inst, symbol, int(e.params.size() * 4), e.params.data());
        if (scLast_Error) Fault("seat " + std::to_string(e.seat) + " " + e.name + ": " + scLast_Error_Text);
        if (e.name == "OnOtherSuiriCheck" && asked_ == e.seat)
            Fault("seat " + std::to_string(e.seat) + " answered nothing when asked to show a card");
    }
}

bool Table::Play(int maxRounds) {
    if (!fault.empty()) return false;
    for (rounds = 1; rounds <= maxRounds; rounds++) {
        for (int s = 0; s < 6; s++) {
            if (seats_[s].out) continue;
            turn_ = s;
            turnEnded_ = false;
            suggested_ = false;
            seats_[s].steps = 0;
            seats_[s].diceDone = false;
            if (s == kPassive) continue;
            Raise(s, "OnTurn");
            RunQueue();
            if (!fault.empty()) return false;
            if (gameOver_) return true;
            if (!turnEnded_) {
                Fault("the turn of seat " + std::to_string(s) + " stalled in round " + std::to_string(rounds));
                return false;
            }
        }
    }
    Fault("no winner after " + std::to_string(maxRounds) + " rounds");
    return false;
}

int Table::Saikoro(int seat) {
    if (seat < 0 || seat != turn_) return -1;
    if (turnEnded_) Fault("rolled after the turn ended");
    Seat& s = seats_[seat];
    if (s.diceDone) Fault("rolled twice in a turn");
    s.diceDone = true;
    s.steps = 1 + int(Random(6));
    Raise(seat, "OnMove");
    return 0;
}

void Table::Arrive(int seat) {
    Seat& s = seats_[seat];
    int code = BoardMap[CellOf(s)];
    int room = client::DoorRoom(uint16_t(code));
    if (room >= 0 && room <= 8) {
        Enter(seat, room);
        Raise(seat, "OnInRoom", {room});
        return;
    }
    s.place = s.x == kSpotX && s.y == kSpotY ? 10 : 0;
    UpdatePosition(seat);
    Raise(seat, s.steps > 0 ? "OnMove" : "OnMoveEnd");
}

void Table::Enter(int seat, int room) {
    Seat& s = seats_[seat];
    s.place = room + 1;
    s.x = RoomTable[room][8 + seat * 2];
    s.y = RoomTable[room][9 + seat * 2];
    UpdatePosition(seat);
}

int Table::MoveTo(int seat, int target) {
    if (seat < 0 || seat != turn_ || target < 0 || target > 9) return -1;
    if (turnEnded_) Fault("moved after the turn ended");
    Seat& s = seats_[seat];
    if (s.steps == 0) return -1;
    s.steps--;
    if (s.place == 0) {
        int code = client::RouteTable()[target][CellOf(s)];
        if (code > 3) return 1;
        if (code == 0) s.y--;
        else if (code == 1) s.y++;
        else if (code == 2) s.x--;
        else s.x++;
    } else if (s.place == 10) {
        s.y++;
    } else {
        // Leave by the exit with the shortest way on.
        int room = s.place - 1, best = -1, bx = 0, by = 0;
        for (int dir = 0; dir < 4; dir++)
            for (bool second : {false, true}) {
                int x, y;
                if (second && room != 0 && room != 4) continue;
                if (!client::ExitCell(room, dir, second, x, y)) continue;
                int n = RouteLength(x, y, target);
                if (n >= 0 && (best < 0 || n < best)) best = n, bx = x, by = y;
            }
        if (best < 0) return -1;
        s.x = bx;
        s.y = by;
    }
    Arrive(seat);
    return 0;
}

int Table::TurnEnd(int seat, bool afterSuggestion) {
    if (seat < 0 || seat != turn_) return -1;
    Seat& s = seats_[seat];
    if ((s.steps == 0 && s.diceDone) || s.place != 0) {
        if (turnEnded_) Fault("the turn of seat " + std::to_string(seat) + " ended twice");
        if (afterSuggestion != suggested_)
            Fault(afterSuggestion ? "turn_end2 without a suggestion" : "turn_end after a suggestion");
        if (asked_ >= 0 || responder_ >= 0) Fault("turn ended while a suggestion was answered");
        turnEnded_ = true;
        return 0;
    }
    return s.steps + (s.diceDone ? 1 : 0);
}

std::vector<int> Table::Matching(int seat) const {
    std::vector<int> m;
    for (int code : suggestion_)
        if (std::find(seats_[seat].hand.begin(), seats_[seat].hand.end(), code) != seats_[seat].hand.end())
            m.push_back(code);
    return m;
}

int Table::Suiri(int seat, int person, int weapon) {
    if (seat < 0 || seat != turn_) return -1;
    Seat& s = seats_[seat];
    if (s.place < 1 || s.place > 9 || person < 0 || person > 5 || weapon < 0 || weapon > 5) return -1;
    if (turnEnded_) Fault("suggested after the turn ended");
    if (suggested_) Fault("two suggestions in one turn");
    suggested_ = true;
    int room = s.place - 1;
    suggestion_[0] = 30 + room;
    suggestion_[1] = 10 + person;
    suggestion_[2] = 20 + weapon;
    Enter(person, room);
    trace.push_back("round " + std::to_string(rounds) + ": seat " + std::to_string(seat) + " suggests room " +
                    std::to_string(room) + ", suspect " + std::to_string(person) + ", weapon " + std::to_string(weapon));
    for (int n = 1; n < 6; n++) Raise(n, "OnOtherSuiri", {seat, room, person, weapon});
    responder_ = seat;
    Raise(-1, "#ask");
    return 0;
}

void Table::AskNext() {
    responder_ = (responder_ + 1) % 6;
    if (responder_ == turn_) {
        responder_ = -1;
        trace.push_back("  nobody");
        Raise(turn_, "OnSuiriResult", {-1});
        Raise(turn_, "OnSuiriEnd");
        return;
    }
    std::vector<int> m = Matching(responder_);
    if (responder_ == kPassive) {
        Raise(-1, "#answer", {m.empty() ? -1 : m[0]});
        return;
    }
    m.resize(3, -1);
    asked_ = responder_;
    Raise(responder_, "OnOtherSuiriCheck", m);
}

int Table::ShowCard(int seat, int code) {
    if (seat < 0 || seat != asked_) {
        Fault("show_card from seat " + std::to_string(seat) + " that was not asked");
        return -1;
    }
    std::vector<int> m = Matching(seat);
    if (code < 0 && !m.empty()) Fault("seat " + std::to_string(seat) + " said it had none of the cards");
    if (code >= 0 && std::find(m.begin(), m.end(), code) == m.end())
        Fault("seat " + std::to_string(seat) + " showed a card that does not answer: " + std::to_string(code));
    if (code >= 0) shown.push_back(code);
    asked_ = -1;
    Raise(-1, "#answer", {code});
    return 0;
}

void Table::Answer(int code) {
    if (code < 0) {
        Raise(-1, "#ask");
        return;
    }
    responder_ = -1;
    trace.push_back("  shown " + std::to_string(code));
    Raise(turn_, "OnSuiriResult", {code});
    Raise(turn_, "OnSuiriEnd");
}

int Table::Kokuso(int seat, int room, int person, int weapon) {
    if (seat < 0 || seat != turn_) return -1;
    Seat& s = seats_[seat];
    if (!accuseAnywhere && s.place != 10) return -1;
    if (room < 0) return 0;
    if (room > 8 || person < 0 || person > 5 || weapon < 0 || weapon > 5) return -1;
    if (turnEnded_) Fault("accused after the turn ended");
    s.diceDone = true;
    suggested_ = true;  // the accusation's view is shown: the turn ends with turn_end2
    if (person + 10 == solution[0] && weapon + 20 == solution[1] && room + 30 == solution[2]) {
        winner = seat;
        gameOver_ = true;
        Raise(seat, "OnWin");
        return 0;
    }
    wrongAccusations.push_back(seat);
    s.out = true;
    Raise(seat, "OnLose");
    bool allOut = true;
    for (int n = 1; n < 6; n++) allOut = allOut && seats_[n].out;
    if (allOut) gameOver_ = true;
    return 0;
}

}  // namespace npctest
