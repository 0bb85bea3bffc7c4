// 水那祥子: a newspaper reporter who never stops talking. She is quick on
// her feet and gossips about people, so she shows suspects first.
#title "水那祥子"
#author "velmora"
#include "player.h"

int Pace(int moment)
{
    return PaceOf(moment, 10, 2, 10, 8);
}

int ShowRank(int category)
{
    return RankOf(category, 2, 1, 0);
}

void Say(int moment, int arg)
{
    switch (moment) {
    case SAY_HELLO:
        if (rand(2) == 0)
            chat("特ダネのにおいがするわ！");
        else
            chat("取材させてもらいますね！");
        break;
    case SAY_SUGGEST:
        if (arg == gMyIndex)
            chat("私だって容疑者の一人、ってね。");
        else if (rand(2) == 0)
            chat("%sさん、ちょっとお話を聞かせてもらえます？", get_name(arg));
        break;
    case SAY_NOBODY:
        chat("これは記事になるわ！");
        break;
    case SAY_SHOW:
        if (rand(2) == 0) chat("はいはい、これでしょ。");
        break;
    case SAY_ACCUSE:
        chat("スクープよ！　犯人はこの人！");
        break;
    case SAY_WIN:
        chat("明日の一面はいただきね！");
        break;
    case SAY_LOSE:
        chat("うそ、誤報だったの！？");
        break;
    }
}
