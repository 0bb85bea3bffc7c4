#include "GameHeader.h"

#include "HostCall.h"

namespace npc {

const char kGameHeader[] =
    "#ifndef Velmora_Game\n"
    "import int is_saikoro_done();\n"
    "import void saikoro();\n"
    "import int move_to(int room);\n"
    "import void wait(int ticks);\n"
    "import void chat(char *format, ...);\n"
    "import int turn_end();\n"
    "import int turn_end2();\n"
    "import int rand(int n);\n"
    "import char *itoa(int value, char *buf);\n"
    "import int get_map(int x, int y);\n"
    "import int get_myroom();\n"
    "import int sqrt(int n);\n"
    "import int sprintf(char *buf, char *format, ...);\n"
    "import int suiri(int person, int weapon);\n"
    "import int show_card(int code);\n"
    "import int kokuso(int room, int person, int weapon);\n"
    "import int kokuso_end(int n);\n"
    "import int is_dokodemo_kokuso();\n"
    "import char *get_name(int seat);\n"
    "#define Velmora_Game\n"
    "#endif\n";

void RegisterGameHeader() { scRegister_Builtin_Header("game", kGameHeader); }

}  // namespace npc
