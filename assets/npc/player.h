// The computer player shared by every character: the game's functions, the
// globals the client writes, and the events. A character script includes this
// file and then defines its three hooks:
//   int Pace(int moment)           ticks (of 33 ms) to wait at a moment (PACE_...);
//                                  PaceOf gives one number per moment
//   void Say(int moment, int arg)  what it says in chat at a moment (SAY_...)
//   int ShowRank(int category)     how much it likes to show a card of a category
//                                  (CAT_PERSON, CAT_WEAPON, CAT_ROOM; higher first);
//                                  RankOf gives one number per category
#ifndef NPC_PLAYER_H
#define NPC_PLAYER_H

// The game's functions.
#include game
#include "brain.h"

// Moments for the character's pace and chat.
#define PACE_TURN 0      // before acting at the start of a turn
#define PACE_STEP 1      // before each step on the board
#define PACE_THINK 2     // before a suggestion or an accusation
#define PACE_SHOW 3      // before showing a card

#define SAY_HELLO 0      // the cards are dealt
#define SAY_SUGGEST 1    // arg: the suspect named
#define SAY_NOBODY 2     // nobody could show a card of my suggestion
#define SAY_SHOW 3       // arg: the seat I show a card to
#define SAY_ACCUSE 4     // arg: the suspect accused
#define SAY_WIN 5
#define SAY_LOSE 6

int Pace(int moment);
void Say(int moment, int arg);
int ShowRank(int category);
export Say;

int PaceOf(int moment, int turn, int step, int think, int show)
{
    if (moment == PACE_TURN) return turn;
    if (moment == PACE_STEP) return step;
    if (moment == PACE_THINK) return think;
    return show;
}

int RankOf(int category, int person, int weapon, int room)
{
    if (category == CAT_PERSON) return person;
    if (category == CAT_WEAPON) return weapon;
    return room;
}

// Written by the client.
int gMyIndex = -1;
int gMyUserId = -1;
int gX = 0;
int gY = 0;
int gCardCount = 0;
int gMyCard[9][2];
int gKestCheck[6][3][10];
export gMyIndex;
export gMyUserId;
export gX;
export gY;
export gCardCount;
export gMyCard;
export gKestCheck;

// The turn in progress.
int gInTurn = 0;        // my turn is open and still has to be ended
int gTarget = -1;       // where I walk: room 0-8, or 9 the accusation spot
int gSuggested = 0;     // this turn held a suggestion
int gAwaiting = 0;      // my suggestion waits for its answer
int gAskRoom, gAskPerson, gAskWeapon;   // its cards
int gAnswer;            // -2 no answer yet, -1 nobody could show, -3 a card I cannot read, else the card
int gSuggester = -1;    // the seat of the suggestion being answered
int gSalt = 0;

// Where I stand: 0-8 a room, 9 the accusation spot, -1 the corridor.
void MeasureFromHere(int here)
{
    if (here >= 0 && here <= 9)
        Distances(0, 0, here);
    else
        Distances(gX, gY, -1);
}

// The room to go to (or stay in) next: the best information per turn spent.
int PlanRoom(int here)
{
    int r, best = -1;
    double v, turns, rate, bestRate = 0.0;
    MeasureFromHere(here);
    for (r = 0; r < 9; r++) {
        v = BestQuery(r, gSalt);
        turns = -1.0;
        if (r == here)
            turns = 1.0;
        else if (gDist[r] >= 0)
            turns = 0.2 + gDist[r] / 3.5;
        if (turns >= 0.0 && v > 0.0) {
            if (turns < 1.0) turns = 1.0;
            rate = v / turns;
            if (rate > bestRate) {
                bestRate = rate;
                best = r;
            }
        }
    }
    if (best < 0) best = rand(9);
    return best;
}

void EndTurn()
{
    int r;
    if (!gInTurn) return;
    if (gSuggested)
        r = turn_end2();
    else
        r = turn_end();
    // A positive answer means steps are left in the corridor: the walk goes on.
    if (r <= 0) gInTurn = 0;
}

void Accuse()
{
    int room = Culprit(CAT_ROOM) - 12, person = Culprit(CAT_PERSON), weapon = Culprit(CAT_WEAPON) - 6;
    Say(SAY_ACCUSE, person);
    wait(Pace(PACE_THINK));
    if (kokuso(room, person, weapon) < 0) {
        EndTurn();
        return;
    }
    gInTurn = 0;
}

void Suggest(int room)
{
    BestQuery(room, gSalt);
    gAskRoom = 12 + room;
    gAskPerson = gBestPerson;
    gAskWeapon = gBestWeapon;
    gAsked[gAskRoom]++;
    gAsked[gAskPerson]++;
    gAsked[gAskWeapon]++;
    Say(SAY_SUGGEST, gAskPerson);
    wait(Pace(PACE_THINK));
    gAnswer = -2;
    gAwaiting = 1;
    if (suiri(gAskPerson, gAskWeapon - 6) < 0) {
        gAwaiting = 0;
        EndTurn();
        return;
    }
    gSuggested = 1;
}

// One step toward the target. Where no step leads there, a step toward any
// other place keeps the walk going (the steps must be used up before the turn
// can end in the corridor); when none can be taken, the turn ends.
void Step()
{
    int r = move_to(gTarget), other = 0;
    while (r != 0 && other < 10) {
        if (other != gTarget) r = move_to(other);
        other++;
    }
    if (r != 0) EndTurn();
}

void OnInit()
{
    KnowReset();
    if (gMyIndex >= 0 && gMyIndex < 6) KnowHand(&gKestCheck[gMyIndex][0][0]);
    gSalt = rand(36);
    Say(SAY_HELLO, 0);
}
export OnInit;

void OnTurn()
{
    int here;
    gInTurn = 1;
    gSuggested = 0;
    gAwaiting = 0;
    gSalt = rand(36);
    wait(Pace(PACE_TURN));
    here = get_myroom();
    if (Certain()) {
        if (is_dokodemo_kokuso() || here == 9) {
            Accuse();
            return;
        }
        gTarget = 9;
    } else {
        gTarget = PlanRoom(here);
        if (gTarget == here) {
            Suggest(here);
            return;
        }
    }
    if (!is_saikoro_done()) saikoro();
}
export OnTurn;

void OnMove()
{
    if (!gInTurn) return;
    wait(Pace(PACE_STEP));
    if (Certain() && get_myroom() == 9) {
        Accuse();
        return;
    }
    Step();
}
export OnMove;

void OnMoveEnd()
{
    if (!gInTurn) return;
    if (Certain() && get_myroom() == 9) {
        Accuse();
        return;
    }
    EndTurn();
}
export OnMoveEnd;

void OnInRoom(int room)
{
    if (!gInTurn) return;
    wait(Pace(PACE_STEP));
    if (Certain()) {
        if (is_dokodemo_kokuso()) Accuse();
        else EndTurn();
        return;
    }
    if (room >= 0 && room < 9 && BestQuery(room, gSalt) > 0.0)
        Suggest(room);
    else
        EndTurn();
}
export OnInRoom;

void OnOtherSuiri(int seat, int room, int person, int weapon)
{
    if (seat != gMyIndex) gSuggester = seat;
}
export OnOtherSuiri;

void OnOtherSuiriCheck(int code1, int code2, int code3)
{
    int rank[3], code;
    rank[CAT_PERSON] = ShowRank(CAT_PERSON);
    rank[CAT_WEAPON] = ShowRank(CAT_WEAPON);
    rank[CAT_ROOM] = ShowRank(CAT_ROOM);
    code = ChooseShow(code1, code2, code3, gSuggester, rank);
    wait(Pace(PACE_SHOW));
    if (code >= 0) {
        RecordShown(code, gSuggester);
        Say(SAY_SHOW, gSuggester);
    }
    show_card(code);
}
export OnOtherSuiriCheck;

void OnSuiriResult(int code)
{
    int card;
    if (!gAwaiting) return;
    if (code < 0) {
        gAnswer = -1;
        return;
    }
    card = CardOfCode(code);
    if (card < 0) {
        gAnswer = -3;
        return;
    }
    gAnswer = card;
    KnowShown(card);
}
export OnSuiriResult;

void OnSuiriEnd()
{
    if (!gAwaiting) return;
    gAwaiting = 0;
    // The answer ends with a shown card or with nobody holding one.
    if (gAnswer == -1 || gAnswer == -2) {
        KnowNobody(gAskRoom, gAskPerson, gAskWeapon);
        Say(SAY_NOBODY, 0);
    }
    if (Certain() && is_dokodemo_kokuso()) {
        Accuse();
        return;
    }
    EndTurn();
}
export OnSuiriEnd;

void OnWin()
{
    Say(SAY_WIN, 0);
}
export OnWin;

void OnLose()
{
    Say(SAY_LOSE, 0);
    // A wrong accusation leaves the turn to be ended.
    gInTurn = 1;
    gSuggested = 1;
    EndTurn();
}
export OnLose;

#endif
