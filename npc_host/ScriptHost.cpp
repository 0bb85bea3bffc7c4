#include "ScriptHost.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "Compiler.h"
#include "Format.h"
#include "GameHeader.h"
#include "HostCall.h"
#include "Instance.h"
#include "Kestclasses.h"
#include "Protocol.h"
#include "Random.h"
#include "TextCodec.h"
#include "VmSpace.h"

namespace npc {

using namespace kest::proto;

namespace {

// The hosts of this process (one per main window): a game function acts for
// the host whose seat's script is running.
std::vector<TScriptHost*> g_hosts;

TScriptHost& Host() {
  for (TScriptHost* h : g_hosts)
    if (h->CurrentScriptSlot() >= 0) return *h;
  throw std::runtime_error("not called from a seat's script");
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// The export of that name (the first, as the engine finds it), null none.
const zedi::ImageExport* FindExport(scInstance* inst, const char* name) {
  if (!inst || !inst->img) return nullptr;
  for (const auto& e : inst->img->layout.exportList)
    if (e.name == name) return &e;
  return nullptr;
}

// Chat text as the line may carry it: no BS, CR, LF or NUL, and no lead byte
// without its trail byte, which would take the closing BS into the text.
std::string ChatText(const char* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    auto bad = [](unsigned char b) { return b == 0x08 || b == '\r' || b == '\n' || b == 0; };
    if (kest::IsSjisLeadByte(c)) {
      if (i + 1 < length && !bad(static_cast<unsigned char>(text[i + 1]))) {
        out += text[i];
        out += text[i + 1];
        ++i;
      }
      continue;
    }
    if (!bad(c)) out += text[i];
  }
  return out;
}

// While it lives, each initialisation routine (the globals' constructors) and
// clean-up routine (their destructors) of an instance may run as many
// instructions as an event: a script whose constructor never ends fails to
// load, one whose destructor never ends is freed all the same.
class TRoutineBudget {
 public:
  explicit TRoutineBudget(long long instructions) : before_(scGet_Routine_Budget()) {
    scSet_Routine_Budget(instructions);
    zedi::ClearError();
  }
  ~TRoutineBudget() { scSet_Routine_Budget(before_); }
  TRoutineBudget(const TRoutineBudget&) = delete;
  TRoutineBudget& operator=(const TRoutineBudget&) = delete;

 private:
  long long before_;
};

}  // namespace

// ---------------------------------------------------------------- life cycle

TScriptHost::TScriptHost(client::TGameCore& core, std::string npcDir, TScriptHostHooks hooks)
    : core_(core), npcDir_(std::move(npcDir)), hooks_(std::move(hooks)) {
  RegisterGameFunctions();
  emptyName_ = scNew_Text("");
  g_hosts.push_back(this);
}

TScriptHost::~TScriptHost() {
  FreeScripts();
  if (emptyName_) scFree_Text(emptyName_);
  std::erase(g_hosts, this);
}

void TScriptHost::FreeScripts() {
  for (TSeat& st : seats_) {
    if (st.inst) {
      scKill_Instance(st.inst);
      TRoutineBudget budget(eventBudget_);
      scFree_Instance(st.inst);
      if (scLast_Error && hooks_.log)
        hooks_.log("script " + st.file + ": its clean-up was stopped: " + plat::SjisToUtf8(scLast_Error_Text));
    }
    st.inst = nullptr;
  }
  for (TSeat& st : seats_) {
    if (st.image) {
      scScript_Forget(st.image);
      std::free(st.image);
    }
    if (st.name) scFree_Text(st.name);
    st = TSeat();
  }
  ScriptWaitTicks.fill(0);
  running_ = 0;
  if (timerOn_ && hooks_.scriptTimer) hooks_.scriptTimer(false);
  timerOn_ = false;
}

bool TScriptHost::Computer(int seat) const {
  const kest::TKestUser& u = core_.Seats()[size_t(seat)];
  return u.HasFlags(kest::ufComputer) && !u.HasFlags(kest::ufNonParticipant);
}

// ---------------------------------------------------------------- set-up

bool TScriptHost::SetUpScripts() {
  FreeScripts();
  std::vector<std::pair<std::string, std::vector<unsigned char>>> compiled;
  for (int s = 0; s < 6; ++s)
    if (!SetUpSeat(s, compiled)) return false;
  return true;
}

bool TScriptHost::SetUpSeat(int seat, std::vector<std::pair<std::string, std::vector<unsigned char>>>& compiled) {
  TSeat& st = seats_[size_t(seat)];
  const kest::TKestUser& u = core_.Seats()[size_t(seat)];
  bool computer = Computer(seat);
  std::vector<std::string> candidates;
  const std::string& face = u.GetFace();
  if (kest::PlainFileName(face)) {
    std::string base = npcDir_ + "/" + plat::SjisToUtf8(face);
    if (FileExists(base + ".sc")) {
      candidates.push_back(base + ".sc");
    } else if (FileExists(base + ".so")) {
      candidates.push_back(base + ".so");
    }
  } else if (!face.empty() && hooks_.log) {
    hooks_.log("seat " + std::to_string(seat) + ": the face name \"" + plat::SjisToUtf8(face) +
               "\" cannot name a script file; the seat plays default.sc");
  }
  std::string fallback = npcDir_ + "/default.sc";
  if (!FileExists(fallback) && FileExists(npcDir_ + "/default.so")) fallback = npcDir_ + "/default.so";
  candidates.push_back(fallback);

  for (const std::string& path : candidates) {
    std::string why;
    scScript image = LoadScript(path, why, compiled);
    scInstance* inst = nullptr;
    if (image) {
      TRoutineBudget budget(eventBudget_);
      inst = scCreate_Instance(image, "");
      if (!inst) why = plat::SjisToUtf8(scLast_Error_Text);
    }
    if (inst && computer && MissingExports(inst, why)) {
      TRoutineBudget budget(eventBudget_);
      scFree_Instance(inst);
      inst = nullptr;
    }
    if (!inst) {
      std::free(image);
      Problem(seat, path + ": " + why);
      continue;
    }
    st.image = image;
    st.inst = inst;
    st.file = path;
    break;
  }
  if (!st.inst) {
    if (hooks_.log) hooks_.log("seat " + std::to_string(seat) + " has no script");
    // Only a computer player of this host is played by its script.
    return !(computer && core_.MySeat() == 0);
  }
  WriteInt(seat, "gMyIndex", seat);
  WriteInt(seat, "gMyUserId", u.UserNo);
  WritePosition(seat);
  st.name = scNew_Text(u.GetName().c_str());
  return true;
}

scScript TScriptHost::LoadScript(const std::string& path, std::string& why,
                                 std::vector<std::pair<std::string, std::vector<unsigned char>>>& compiled) {
  if (!EndsWith(path, ".sc")) {
    scScript image = scLoad_Script(path.c_str());
    if (!image) why = scLast_Error_Text[0] ? scLast_Error_Text : "cannot load the image";
    return image;
  }
  // A file compiled for another seat of this start is copied.
  for (const auto& [file, bytes] : compiled) {
    if (file != path) continue;
    void* copy = std::malloc(bytes.size());
    if (copy) std::memcpy(copy, bytes.data(), bytes.size());
    return copy;
  }
  scScript image = scCompile_File(path.c_str());
  if (!image) {
    if (scLast_Error == 0) {
      why = "cannot open the file";
    } else {
      why = plat::SjisToUtf8(scLast_Error_Text);
      if (scLast_Error_Line[0]) why += "\n" + plat::SjisToUtf8(scLast_Error_Line);
    }
    return nullptr;
  }
  int size = scGet_Script_Size(image);
  compiled.emplace_back(path, std::vector<unsigned char>(static_cast<unsigned char*>(image),
                                                         static_cast<unsigned char*>(image) + size));
  // The compiled image beside its source, for a later start without it.
  std::string cache = path.substr(0, path.size() - 3) + ".so";
  FILE* f = std::fopen(cache.c_str(), "wb");
  bool written = f && std::fwrite(image, 1, size_t(size), f) == size_t(size);
  if (f && std::fclose(f) != 0) written = false;
  if (!written && hooks_.log) hooks_.log(cache + ": cannot write the compiled script: " + std::strerror(errno));
  return image;
}

bool TScriptHost::MissingExports(scInstance* inst, std::string& why) const {
  static const char* const variables[] = {"gMyIndex", "gMyUserId"};
  static const char* const functions[] = {"OnTurn", "OnOtherSuiriCheck"};
  std::string missing;
  for (const char* v : variables) {
    const zedi::ImageExport* e = FindExport(inst, v);
    if (!e || e->kind != -1) missing += std::string(missing.empty() ? "" : ", ") + v;
  }
  for (const char* f : functions) {
    const zedi::ImageExport* e = FindExport(inst, f);
    if (!e || e->kind < 0) missing += std::string(missing.empty() ? "" : ", ") + f;
  }
  if (missing.empty()) return false;
  why = "a computer player's script must export " + missing;
  return true;
}

void TScriptHost::Problem(int seat, const std::string& text) {
  if (hooks_.log) hooks_.log("script of seat " + std::to_string(seat) + " not set up: " + text);
  if (!Computer(seat) || core_.MySeat() != 0 || !shown_.insert(text).second) return;
  if (hooks_.showProblem) hooks_.showProblem(text);
}

// ---------------------------------------------------------------- globals

void TScriptHost::WriteInt(int seat, const char* name, int value) {
  scInstance* inst = Instance(seat);
  const zedi::ImageExport* e = FindExport(inst, name);
  if (!e || e->kind != -1) return;
  if (void* p = scGet_Global(inst, e->value, 4)) std::memcpy(p, &value, 4);
}

void TScriptHost::WritePosition(int seat) {
  WriteInt(seat, "gX", core_.Seats()[size_t(seat)].X());
  WriteInt(seat, "gY", core_.Seats()[size_t(seat)].Y());
}

void TScriptHost::WriteCardGlobals(int seat) {
  scInstance* inst = Instance(seat);
  if (!inst) return;
  const kest::TCardList& hand = core_.Seats()[size_t(seat)].hand;
  int k = hand.CardCount();
  WriteInt(seat, "gCardCount", k);
  // The image knows no variable's size: each write is checked against the
  // end of the data area only.
  const zedi::ImageExport* cards = FindExport(inst, "gMyCard");
  const zedi::ImageExport* check = FindExport(inst, "gKestCheck");
  for (int n = 0; n < k && n < kest::TCardList::kMaxCards; ++n) {
    kest::TCard c = hand.CardAt(n);
    int pair[2] = {c.Mark(), c.Index()};
    if (cards && cards->kind == -1)
      if (void* p = scGet_Global(inst, cards->value + 8 * n, 8)) std::memcpy(p, pair, 8);
    int row = c.Mark() == 1 ? 0 : c.Mark() == 2 ? 1 : 2;
    int one = 1;
    if (check && check->kind == -1)
      if (void* p = scGet_Global(inst, check->value + 4 * ((seat * 3 + row) * 10 + c.Index()), 4))
        std::memcpy(p, &one, 4);
  }
}

void TScriptHost::SeatMoved(int seat) {
  if (ValidSeat(seat)) WritePosition(seat);
}

// ---------------------------------------------------------------- lookups

int TScriptHost::CurrentScriptSlot() const {
  scInstance* cur = scGet_This();
  if (!cur) return -1;
  if (cur->parent) cur = cur->parent;
  for (int s = 0; s < 6; ++s)
    if (seats_[size_t(s)].inst == cur) return s;
  return -1;
}

bool TScriptHost::IsScriptForUser(int userId, int expectedSeat) const {
  int seat = core_.SlotOfUser(userId);
  if (seat < 0 || (expectedSeat != -1 && expectedSeat != seat)) return false;
  scInstance* inst = Instance(seat);
  auto read = [inst](const char* name, int& v) {
    const zedi::ImageExport* e = FindExport(inst, name);
    void* p = e && e->kind == -1 ? scGet_Global(inst, e->value, 4) : nullptr;
    if (p) std::memcpy(&v, p, 4);
    return p != nullptr;
  };
  int index = -1, user = -1;
  return read("gMyIndex", index) && read("gMyUserId", user) && index == seat && user == userId;
}

int TScriptHost::TurnCaller() const {
  int c = CurrentScriptSlot();
  return c >= 0 && c == core_.ComputerTurnSeat() ? c : -1;
}

// ---------------------------------------------------------------- events

// The events the core raises, each with what the host does with it: the
// seat's script must still be its own (gMyIndex and gMyUserId unchanged) to
// receive it; it belongs to the seat's turn (the host plays those itself once
// the script has failed in that turn); its arguments go as a parameter block;
// and the host's own part, run first.
struct TScriptHost::TEventSpec {
  const char* name;
  bool ownScript, turn, params;
  void (TScriptHost::*first)(int seat);
};

const TScriptHost::TEventSpec TScriptHost::kEvents[] = {
    {"OnTurn", true, false, false, nullptr},
    {"OnInit", false, false, false, &TScriptHost::WriteCardGlobals},
    {"OnMove", true, true, false, nullptr},
    {"OnMoveEnd", true, true, false, nullptr},
    {"OnInRoom", true, true, true, nullptr},
    {"OnSuiriResult", false, true, true, nullptr},
    {"OnOtherSuiri", false, false, true, nullptr},
    {"OnOtherSuiriCheck", true, false, true, nullptr},
    {"OnSuiriEnd", true, false, false, nullptr},
    {"OnWin", true, false, false, nullptr},
    {"OnLose", true, false, false, nullptr},
};

void TScriptHost::RaiseScriptEvent(int seat, const char* event, const std::vector<int>& args) {
  if (!ValidSeat(seat)) return;
  const TEventSpec* spec = nullptr;
  for (const TEventSpec& e : kEvents)
    if (std::strcmp(e.name, event) == 0) spec = &e;
  if (!spec) return;
  TSeat& st = seats_[size_t(seat)];
  // The seat's last event ends first, in the state it began in.
  if (running_ & (1 << seat)) RunScriptToEnd(seat);
  if (spec->first) (this->*spec->first)(seat);
  if (spec->turn && core_.TurnTakenOver(seat)) return;

  std::array<int, 4> block{};
  int bytes = 0;
  if (spec->params) {
    bytes = int(std::min<size_t>(args.size(), block.size())) * 4;
    for (size_t i = 0; i < args.size() && i < block.size(); ++i) block[i] = args[i];
  }
  if (spec->ownScript && !IsScriptForUser(core_.Seats()[size_t(seat)].UserNo, seat)) {
    st.event = spec->name;
    EventEnded(seat, true, false, "the seat's script is not its own any more");
    return;
  }
  CallScriptEventBlock(seat, spec->name, bytes, block.data());
}

void TScriptHost::CallScriptEvent(int seat, const char* name, int value) {
  CallScriptEventBlock(seat, name, 4, &value);
}

void TScriptHost::CallScriptEventBlock(int seat, const char* name, int bytes, const void* block) {
  if (!ValidSeat(seat)) return;
  TSeat& st = seats_[size_t(seat)];
  int bit = 1 << seat;
  if (running_ & bit) RunScriptToEnd(seat);
  st.event = name;
  const zedi::ImageExport* e = FindExport(st.inst, name);
  if (!st.inst) return EventEnded(seat, true, false, "the seat has no script");
  if (!e || e->kind < 0) return EventEnded(seat, false, false, "");  // the script does not react
  // The block as the script's function declares it: cut or zero-filled.
  std::vector<unsigned char> params(size_t(e->kind), 0);
  size_t given = std::min<size_t>(params.size(), size_t(std::max(bytes, 0)));
  if (given > 0) std::memcpy(params.data(), block, given);
  scSet_Instruction_Budget(st.inst, eventBudget_);
  if (!scLaunch_With_Params(st.inst, 10, scGet_Symbol(st.inst, name), e->kind, params.data()))
    return EventEnded(seat, true, false, scLast_Error_Text);
  ++stats_.events;
  running_ |= bit;
  if (!timerOn_) {
    timerOn_ = true;
    if (hooks_.scriptTimer) hooks_.scriptTimer(true);
  }
}

void TScriptHost::Measure(std::chrono::steady_clock::time_point since) {
  auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - since).count();
  stats_.longestUs = std::max<long long>(stats_.longestUs, us);
}

void TScriptHost::ScriptTimerTimer() { Pass(); }

void TScriptHost::Pass() {
  auto start = std::chrono::steady_clock::now();
  int r = scRun_Time_Slice();
  std::string error = r < 0 ? scLast_Error_Text : "";
  Measure(start);
  for (int s = 0; s < 6; ++s) {
    int bit = 1 << s;
    if (!(running_ & bit)) continue;
    TSeat& st = seats_[size_t(s)];
    if (scGet_Instance_Status(st.inst) == scstatus_FREE) {
      running_ &= ~bit;
      ScriptWaitTicks[size_t(s)] = 0;
      st.waiting = nullptr;
      bool failed = st.inst && st.inst->lastRun < 0;
      bool stopped = failed && scGet_Instruction_Budget(st.inst) == 0;
      EventEnded(s, failed, stopped, failed ? error : "");
    } else if (ScriptWaitTicks[size_t(s)] > 0 && --ScriptWaitTicks[size_t(s)] == 0) {
      scPause_Instance(st.waiting ? st.waiting : st.inst, 0);
      st.waiting = nullptr;
    }
  }
  if (running_ == 0 && timerOn_) {
    timerOn_ = false;
    if (hooks_.scriptTimer) hooks_.scriptTimer(false);
  }
}

void TScriptHost::RunScriptToEnd(int seat) {
  if (!ValidSeat(seat)) return;
  auto start = std::chrono::steady_clock::now();
  int bit = 1 << seat;
  for (int passes = 0; running_ & bit; ++passes) {
    if (passes >= kRunToEndPasses) {
      // Waiting without end: stopped like a script that runs too long.
      TSeat& st = seats_[size_t(seat)];
      scKill_Instance(st.inst);
      running_ &= ~bit;
      ScriptWaitTicks[size_t(seat)] = 0;
      st.waiting = nullptr;
      EventEnded(seat, true, true, "the event waited too long");
      break;
    }
    Pass();
  }
  Measure(start);
}

void TScriptHost::EventEnded(int seat, bool failed, bool stopped, const std::string& error) {
  TSeat& st = seats_[size_t(seat)];
  std::string event = st.event;
  st.event.clear();
  if (failed) {
    ++stats_.failed;
    if (stopped) ++stats_.stopped;
    if (hooks_.log)
      hooks_.log("script " + st.file + " of seat " + std::to_string(seat) + (stopped ? " stopped" : " failed") +
                 " in " + event + ": " + plat::SjisToUtf8(error));
  }
  if (event == "OnOtherSuiriCheck" && core_.CardAsked(seat)) {
    std::string line = core_.AnswerFor(seat);
    if (hooks_.log)
      hooks_.log("seat " + std::to_string(seat) + " (" + st.file + "): the host answers for its script: " + line);
  }
  if (failed) ActForSeat(seat, event);
}

// ---------------------------------------------------------------- the host acting for a seat

void TScriptHost::ActForSeat(int seat, const std::string& event) {
  if (seat != core_.ComputerTurnSeat()) return;
  if (core_.TakeOverTurn(seat) || !hooks_.log) return;
  hooks_.log("seat " + std::to_string(seat) + " (" + seats_[size_t(seat)].file + "): its turn ends when its " +
             (core_.SuggestionOpen(seat) ? "suggestion" : "accusation") + " has been answered (" + event +
             " failed)");
}

void TScriptHost::TurnEndedForScript(int seat) {
  if (hooks_.log)
    hooks_.log("seat " + std::to_string(seat) + " (" + seats_[size_t(seat)].file +
               "): the host ends its turn for its script");
}

void TScriptHost::SendFor(int seat, const std::string& text) { core_.SendLine(core_.Seats()[size_t(seat)].UserNo, text); }

// ---------------------------------------------------------------- the game functions

int TScriptHost::IsSaikoroDone() {
  int t = TurnCaller();
  return t >= 0 && core_.Seats()[size_t(t)].HasFlags(kest::ufDiceDone) ? 1 : 0;
}

void TScriptHost::Saikoro() {
  if (int t = TurnCaller(); t >= 0) core_.RollFor(t);
}

int TScriptHost::MoveTo(int room) {
  int t = TurnCaller();
  return t < 0 ? -1 : core_.MoveSeatToward(t, room);
}

void TScriptHost::Wait(int ticks) {
  int c = CurrentScriptSlot();
  if (c < 0 || ticks <= 0) return;
  TSeat& st = seats_[size_t(c)];
  if (ticks > kMaxWaitTicks) {
    if (!st.waitCutSaid && hooks_.log)
      hooks_.log("seat " + std::to_string(c) + " (" + st.file + "): wait(" + std::to_string(ticks) + ") is cut to " +
                 std::to_string(kMaxWaitTicks) + " ticks (5 s), the longest one wait pauses");
    st.waitCutSaid = true;
    ticks = kMaxWaitTicks;
  }
  scInstance* me = scGet_This();
  scPause_Instance(me, 1);
  st.waiting = me;
  ScriptWaitTicks[size_t(c)] = fast_ ? 1 : ticks;
}

void TScriptHost::Chat(const char* format, scVarArgs& args) {
  int c = CurrentScriptSlot();
  if (c < 0) return;
  if (!format) throw std::runtime_error("no format");
  char buffer[1024];
  std::string error;
  int n = scFormat(buffer, sizeof buffer, format, args, &error);
  if (n < 0) throw std::runtime_error(error);
  std::string text = ChatText(buffer, std::min<size_t>(size_t(n), sizeof buffer - 1));
  SendFor(c, CmdChat(core_.LocalUser().GetRoom(), text));
}

int TScriptHost::TurnEnd(bool confirm) { return core_.EndTurnFor(TurnCaller(), confirm); }

int TScriptHost::GetMyRoom() {
  int t = TurnCaller();
  if (t < 0) return -1;
  int place = core_.Seats()[size_t(t)].GetPlace();
  return place >= 1 && place <= 10 ? place - 1 : -1;
}

int TScriptHost::Suiri(int person, int weapon) {
  int t = TurnCaller();
  if (t < 0 || person < 0 || person > 5 || weapon < 0 || weapon > 5) return -1;
  return core_.SuggestFor(t, person, weapon) ? 0 : -1;
}

int TScriptHost::ShowCard(int code) {
  int c = CurrentScriptSlot();
  return c >= 0 && core_.ShowFor(c, code) ? 0 : -1;
}

int TScriptHost::Kokuso(int room, int person, int weapon) {
  int t = TurnCaller();
  if (t < 0 || room < -1 || room > 8 || person < 0 || person > 5 || weapon < 0 || weapon > 5) return -1;
  return core_.AccuseFor(t, room, person, weapon) ? 0 : -1;
}

int TScriptHost::KokusoEnd(int n) {
  // The verdict is the server's: the host sends it by itself after its pause,
  // so a second one from a script would end the game falsely or twice.
  (void)n;
  return -1;
}

int TScriptHost::IsDokodemoKokuso() const { return core_.AccuseAnywhere() ? 1 : 0; }

char* TScriptHost::GetName(int seat) {
  if (!ValidSeat(seat) || !seats_[size_t(seat)].name) return emptyName_;
  return seats_[size_t(seat)].name;
}

// ---------------------------------------------------------------- registration

void TScriptHost::RegisterGameFunctions() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  scEngine_Init();
  RegisterGameHeader();
  scRegister_Host_Symbol("is_saikoro_done", +[]() { return Host().IsSaikoroDone(); });
  scRegister_Host_Symbol("saikoro", +[]() { Host().Saikoro(); });
  scRegister_Host_Symbol("move_to", +[](int room) { return Host().MoveTo(room); });
  scRegister_Host_Symbol("wait", +[](int ticks) { Host().Wait(ticks); });
  scRegister_Host_Symbol("chat", +[](const char* format, scVarArgs args) { Host().Chat(format, args); });
  scRegister_Host_Symbol("turn_end", +[]() { return Host().TurnEnd(false); });
  scRegister_Host_Symbol("turn_end2", +[]() { return Host().TurnEnd(true); });
  scRegister_Host_Symbol("rand", +[](int n) { return n <= 0 ? 0 : kest::Rand() % n; });
  scRegister_Host_Symbol("itoa", +[](int value, scVmAddr buf) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    size_t room = zedi::VmSpace::Get().Room(buf.value);
    if (room == 0) throw std::runtime_error("bad buffer");
    size_t n = std::min(std::strlen(text), room - 1);
    char* out = reinterpret_cast<char*>(zedi::VmSpace::Get().Ptr(buf.value));
    std::memcpy(out, text, n);
    out[n] = 0;
    return buf;
  });
  scRegister_Host_Symbol("get_map", +[](int x, int y) {
    return client::OnBoard(x, y) ? int(BoardMap[client::CellIndex(x, y)]) : 1;
  });
  scRegister_Host_Symbol("get_myroom", +[]() { return Host().GetMyRoom(); });
  scRegister_Host_Symbol("sqrt", +[](int n) { return client::IntSqrt(n); });
  scRegister_Host_Symbol("sprintf", +[](scVmAddr buf, const char* format, scVarArgs args) {
    size_t room = zedi::VmSpace::Get().Room(buf.value);
    if (room == 0) throw std::runtime_error("bad buffer");
    if (!format) throw std::runtime_error("no format");
    std::string error;
    int n = scFormat(reinterpret_cast<char*>(zedi::VmSpace::Get().Ptr(buf.value)), room, format, args, &error);
    if (n < 0) throw std::runtime_error(error);
    return std::min(n, int(room - 1));
  });
  scRegister_Host_Symbol("suiri", +[](int person, int weapon) { return Host().Suiri(person, weapon); });
  scRegister_Host_Symbol("show_card", +[](int code) { return Host().ShowCard(code); });
  scRegister_Host_Symbol("kokuso", +[](int room, int person, int weapon) { return Host().Kokuso(room, person, weapon); });
  scRegister_Host_Symbol("kokuso_end", +[](int n) { return Host().KokusoEnd(n); });
  scRegister_Host_Symbol("is_dokodemo_kokuso", +[]() { return Host().IsDokodemoKokuso(); });
  scRegister_Host_Symbol("get_name", +[](int seat) { return Host().GetName(seat); });
}

}  // namespace npc
