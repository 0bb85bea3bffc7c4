// 紫条院隆典: a cold scholar of an old family. He weighs every move, says
// little, and shows a room before he gives away anyone or anything.
#title "紫条院隆典"
#author "velmora"
#include "player.h"

int Pace(int moment)
{
    return PaceOf(moment, 36, 4, 40, 30);
}

int ShowRank(int category)
{
    return RankOf(category, 0, 1, 2);
}

void Say(int moment, int arg)
{
    switch (moment) {
    case SAY_HELLO:
        chat("……始めようか。");
        break;
    case SAY_SUGGEST:
        if (arg != gMyIndex && rand(4) == 0) chat("%s君、君の話を聞こう。", get_name(arg));
        break;
    case SAY_NOBODY:
        chat("ふむ、計算どおりだ。");
        break;
    case SAY_SHOW:
        if (rand(5) == 0) chat("見たまえ。");
        break;
    case SAY_ACCUSE:
        chat("論理的帰結だ。");
        break;
    case SAY_WIN:
        chat("当然だ。");
        break;
    case SAY_LOSE:
        chat("……計算違いか。");
        break;
    }
}
