// The default computer player: any seat whose face has no script of its own.
// A steady, polite detective without a favourite card.
#title "default"
#author "velmora"
#include "player.h"

int Pace(int moment)
{
    return PaceOf(moment, 20, 3, 15, 12);
}

int ShowRank(int category)
{
    return RankOf(category, 0, 0, 0);
}

void Say(int moment, int arg)
{
    switch (moment) {
    case SAY_HELLO:
        chat("よろしくお願いします。");
        break;
    case SAY_SUGGEST:
        if (rand(3) == 0 && arg != gMyIndex) chat("%sさんが怪しいと思うのですが。", get_name(arg));
        break;
    case SAY_NOBODY:
        chat("……なるほど。");
        break;
    case SAY_SHOW:
        if (rand(4) == 0) chat("これをお見せしましょう。");
        break;
    case SAY_ACCUSE:
        chat("犯人がわかりました！");
        break;
    case SAY_WIN:
        chat("やはりそうでしたか。");
        break;
    case SAY_LOSE:
        chat("しまった、読み違えました……");
        break;
    }
}
