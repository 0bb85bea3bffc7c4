// The built-in header "game": the game functions a computer player's script
// imports, declared for the compiler. Both the client and the script tool
// register it, so a player script compiles the same in either.
#pragma once

namespace npc {

// The header's text.
extern const char kGameHeader[];

// Registers it with the engine under the name "game" (#include game).
void RegisterGameHeader();

}  // namespace npc
