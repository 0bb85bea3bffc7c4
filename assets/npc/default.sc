// The default computer player, for every seat without a script of its own:
// it rolls, walks to a room, suggests there, shows a card when asked and
// ends each of its turns once. It never accuses.
#title "default"
#include game

// Written by the game: the seat, its user number, the piece's cell.
int gMyIndex;
int gMyUserId;
int gX;
int gY;
// Written when the cards are dealt: their number, each {category, index},
// and 1 in gKestCheck[seat][row][index] for each own card.
int gCardCount;
int gMyCard[18];
int gKestCheck[180];

int target = 0;

// A room to walk to, other than the one the piece stands in.
void PickTarget()
{
    int here = get_myroom();
    target = rand(9);
    if (target == here)
        target = (target + 1) % 9;
}

void OnTurn()
{
    PickTarget();
    saikoro();
}

// One step a move; a walk that cannot go on ends the turn.
void OnMove()
{
    if (move_to(target) != 0)
        turn_end();
}

void OnMoveEnd()
{
    turn_end();
}

void OnInRoom(int room)
{
    if (suiri(rand(6), rand(6)) != 0)
        turn_end();
}

void OnSuiriEnd()
{
    turn_end2();
}

// The first of the asked cards it holds, or NO when it holds none.
void OnOtherSuiriCheck(int a, int b, int c)
{
    if (a >= 0)
        show_card(a);
    else if (b >= 0)
        show_card(b);
    else if (c >= 0)
        show_card(c);
    else
        show_card(-1);
}

void OnLose()
{
    turn_end();
}

export gMyIndex;
export gMyUserId;
export gX;
export gY;
export gCardCount;
export gMyCard;
export gKestCheck;
export OnTurn;
export OnMove;
export OnMoveEnd;
export OnInRoom;
export OnSuiriEnd;
export OnOtherSuiriCheck;
export OnLose;
