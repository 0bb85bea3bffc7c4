// グリーン牧師: a country parson, calm and unhurried. He cannot bring
// himself to hide a person, so he shows suspects first.
#title "グリーン牧師"
#author "velmora"
#include "player.h"

int Pace(int moment)
{
    return PaceOf(moment, 22, 3, 20, 15);
}

int ShowRank(int category)
{
    return RankOf(category, 2, 0, 1);
}

void Say(int moment, int arg)
{
    switch (moment) {
    case SAY_HELLO:
        chat("皆さんに神のご加護がありますように。");
        break;
    case SAY_SUGGEST:
        if (arg != gMyIndex && rand(3) == 0) chat("%sさん、罪を告白なさい。", get_name(arg));
        break;
    case SAY_NOBODY:
        chat("おお、神よ……");
        break;
    case SAY_SHOW:
        if (rand(3) == 0) chat("嘘はつけません。これです。");
        break;
    case SAY_ACCUSE:
        chat("真実は明らかになりました。");
        break;
    case SAY_WIN:
        chat("主に感謝を。");
        break;
    case SAY_LOSE:
        chat("私もまた、迷える子羊でした……");
        break;
    }
}
