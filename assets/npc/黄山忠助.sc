// 黄山忠助: a retired colonel, short of temper and quick to act. He names his
// suspects to their faces and would rather show a weapon than anything else.
#title "黄山忠助"
#author "velmora"
#include "player.h"

int Pace(int moment)
{
    return PaceOf(moment, 8, 2, 8, 6);
}

int ShowRank(int category)
{
    return RankOf(category, 1, 2, 0);
}

void Say(int moment, int arg)
{
    switch (moment) {
    case SAY_HELLO:
        chat("ふん、わしが片付けてやろう。");
        break;
    case SAY_SUGGEST:
        if (arg == gMyIndex)
            chat("わし自身も調べておかんとな。");
        else if (rand(2) == 0)
            chat("%s、貴様じゃな！", get_name(arg));
        break;
    case SAY_NOBODY:
        chat("むう……誰も持っておらんのか。");
        break;
    case SAY_SHOW:
        if (rand(3) == 0) chat("ほれ、見るがいい。");
        break;
    case SAY_ACCUSE:
        chat("わかったぞ！　犯人はこやつじゃ！");
        break;
    case SAY_WIN:
        chat("わっはっは、わしの勝ちじゃ！");
        break;
    case SAY_LOSE:
        chat("ぬう、わしとしたことが……");
        break;
    }
}
