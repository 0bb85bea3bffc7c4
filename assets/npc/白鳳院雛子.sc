// 白鳳院雛子: the young lady of an old house. She takes her time, speaks
// with care, and when she must show a card she would rather show a room.
#title "白鳳院雛子"
#author "velmora"
#include "player.h"

int Pace(int moment)
{
    return PaceOf(moment, 30, 4, 30, 24);
}

int ShowRank(int category)
{
    return RankOf(category, 1, 0, 2);
}

void Say(int moment, int arg)
{
    switch (moment) {
    case SAY_HELLO:
        chat("ごきげんよう。お手柔らかにお願いいたしますわ。");
        break;
    case SAY_SUGGEST:
        if (arg != gMyIndex && rand(3) == 0) chat("%sさん、あなたではありませんこと？", get_name(arg));
        break;
    case SAY_NOBODY:
        chat("まあ、どなたもお持ちでないの？");
        break;
    case SAY_SHOW:
        if (rand(3) == 0) chat("仕方ありませんわね、どうぞ。");
        break;
    case SAY_ACCUSE:
        chat("わたくし、わかってしまいましたわ。");
        break;
    case SAY_WIN:
        chat("当然の結果ですわ。おほほほ。");
        break;
    case SAY_LOSE:
        chat("そんな……わたくしが間違えるなんて。");
        break;
    }
}
