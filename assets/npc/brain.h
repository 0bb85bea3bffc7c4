// The computer player's reasoning: what it knows about the 21 cards, when it is
// certain of the solution, which suggestion teaches it most, which card it shows,
// and how far each room is. No game function is called here except get_map,
// which the including script declares (the game's import, or a test's table).
#ifndef NPC_BRAIN_H
#define NPC_BRAIN_H

// Cards are numbered 0-20: suspects 0-5, weapons 6-11, rooms 12-20. A card's
// code on the wire is mark * 10 + index (suspects 10-15, weapons 20-25, rooms 30-38).
#define CAT_PERSON 0
#define CAT_WEAPON 1
#define CAT_ROOM 2
#define CARDS 21

// What is known of a card.
#define K_UNKNOWN 0
#define K_MINE 1      // in my hand
#define K_OTHER 2     // in another player's hand
#define K_CULPRIT 3   // part of the solution

int gKnow[CARDS];
int gConfused = 0;          // set when two facts contradict: never accuse then
int gShownTo[6];            // per seat, a bit per card I have shown to that seat
int gAsked[CARDS];          // how often each card stood in my own suggestions
int gEcho[CARDS];           // how often a card I knew was in another hand was shown to me again

// log2(n) for n = 0-9, for the information a suggestion is worth.
double kLog2[10] = {0.0, 0.0, 1.0, 1.5849625, 2.0, 2.3219281, 2.5849625, 2.8073549, 3.0, 3.169925};

int CatFirst(int cat)
{
    if (cat == CAT_PERSON) return 0;
    if (cat == CAT_WEAPON) return 6;
    return 12;
}

int CatSize(int cat)
{
    if (cat == CAT_ROOM) return 9;
    return 6;
}

int CatOf(int card)
{
    if (card < 6) return CAT_PERSON;
    if (card < 12) return CAT_WEAPON;
    return CAT_ROOM;
}

// The card of a wire code, -1 for anything else.
int CardOfCode(int code)
{
    int mark, index;
    if (code < 10) return -1;
    mark = code / 10;
    index = code % 10;
    if (mark < 1 || mark > 3) return -1;
    if (index >= CatSize(mark - 1)) return -1;
    return CatFirst(mark - 1) + index;
}

int CodeOfCard(int card)
{
    int cat = CatOf(card);
    return (cat + 1) * 10 + card - CatFirst(cat);
}

void KnowReset()
{
    int i;
    for (i = 0; i < CARDS; i++) {
        gKnow[i] = K_UNKNOWN;
        gAsked[i] = 0;
        gEcho[i] = 0;
    }
    for (i = 0; i < 6; i++) gShownTo[i] = 0;
    gConfused = 0;
}

// My hand as the client writes it: check[row][index], row 0 suspects, 1 weapons,
// 2 rooms (the rows are the categories).
void KnowHand(int *check)
{
    int cat, i;
    for (cat = 0; cat < 3; cat++)
        for (i = 0; i < CatSize(cat); i++)
            if (check[cat * 10 + i] != 0) gKnow[CatFirst(cat) + i] = K_MINE;
}

// Once a category's culprit is known the rest of it is held by others, and once
// only one card of a category may still be the culprit it is the culprit.
void KnowSettle(int cat)
{
    int i, first = CatFirst(cat), n = CatSize(cat), culprits = 0, open = 0, last = -1;
    for (i = first; i < first + n; i++) {
        if (gKnow[i] == K_CULPRIT) culprits++;
        if (gKnow[i] == K_UNKNOWN) {
            open++;
            last = i;
        }
    }
    if (culprits > 1 || (culprits == 0 && open == 0)) gConfused = 1;
    if (culprits == 1) {
        for (i = first; i < first + n; i++)
            if (gKnow[i] == K_UNKNOWN) gKnow[i] = K_OTHER;
    } else if (culprits == 0 && open == 1) {
        gKnow[last] = K_CULPRIT;
    }
}

// Another player showed me this card.
void KnowShown(int card)
{
    if (card < 0 || card >= CARDS) return;
    if (gKnow[card] == K_CULPRIT || gKnow[card] == K_MINE) gConfused = 1;
    if (gKnow[card] == K_OTHER) gEcho[card]++;
    if (gKnow[card] == K_UNKNOWN) gKnow[card] = K_OTHER;
    KnowSettle(CatOf(card));
}

// Nobody could show a card of my suggestion: each of its cards is mine or the culprit.
void KnowNobody(int room, int person, int weapon)
{
    int c[3], i;
    c[0] = room;
    c[1] = person;
    c[2] = weapon;
    for (i = 0; i < 3; i++) {
        if (gKnow[c[i]] == K_OTHER) gConfused = 1;
        if (gKnow[c[i]] == K_UNKNOWN) gKnow[c[i]] = K_CULPRIT;
    }
    for (i = 0; i < 3; i++) KnowSettle(i);
}

// The culprit of a category, -1 while it is open.
int Culprit(int cat)
{
    int i, first = CatFirst(cat), found = -1;
    for (i = first; i < first + CatSize(cat); i++)
        if (gKnow[i] == K_CULPRIT) found = i;
    return found;
}

// Cards of a category that may still be the culprit.
int Candidates(int cat)
{
    int i, first = CatFirst(cat), n = 0;
    if (Culprit(cat) >= 0) return 1;
    for (i = first; i < first + CatSize(cat); i++)
        if (gKnow[i] == K_UNKNOWN) n++;
    return n;
}

// 1 when the whole solution is known beyond doubt.
int Certain()
{
    if (gConfused) return 0;
    return Culprit(CAT_PERSON) >= 0 && Culprit(CAT_WEAPON) >= 0 && Culprit(CAT_ROOM) >= 0;
}

// What a suggestion of these three cards is expected to teach, in bits. A card
// that nobody else can show (mine, or a known culprit) is safe; an open card may be
// shown, which rules it out, and when every card is safe or the culprit nobody
// shows anything, which pins the open ones; a card known to be in another hand
// (leaky) may be shown instead of an open one and teaches nothing, the more
// likely the more often it has been shown to me again.
double QueryValue(int room, int person, int weapon)
{
    int c[3], i, open = 0, leaky = 0, n;
    double pinned = 1.0, pinGain = 0.0, shownGain = 0.0;
    c[0] = room;
    c[1] = person;
    c[2] = weapon;
    for (i = 0; i < 3; i++) {
        if (gKnow[c[i]] == K_OTHER) leaky = leaky + 1 + 4 * gEcho[c[i]];
        if (gKnow[c[i]] == K_UNKNOWN) {
            n = Candidates(CatOf(c[i]));
            open++;
            pinned = pinned / n;
            pinGain = pinGain + kLog2[n];
            shownGain = shownGain + kLog2[n] - kLog2[n - 1];
        }
    }
    if (open == 0) return 0.0;
    shownGain = shownGain / open;
    if (leaky > 0) return (shownGain * open) / (open + leaky);
    return pinned * pinGain + (1.0 - pinned) * shownGain;
}

// The best suggestion in a room: gBestPerson and gBestWeapon, its value returned.
// Among equal ones the cards asked least often win, then `salt` picks.
int gBestPerson, gBestWeapon;

double BestQuery(int room, int salt)
{
    int p, w, pi, wi, asked, bestAsked = 0;
    double v, best = -1.0;
    gBestPerson = 0;
    gBestWeapon = 6;
    for (pi = 0; pi < 6; pi++) {
        for (wi = 0; wi < 6; wi++) {
            p = (pi + salt) % 6;
            w = 6 + (wi + salt / 6) % 6;
            v = QueryValue(12 + room, p, w);
            asked = gAsked[p] + gAsked[w];
            if (v > best + 0.000001 || (v > best - 0.000001 && asked < bestAsked)) {
                best = v;
                bestAsked = asked;
                gBestPerson = p;
                gBestWeapon = w;
            }
        }
    }
    return best;
}

// The card to show when asked, of up to three codes (-1 for none): one the
// suggester has seen from me before, else one I have shown anybody, else the one
// the character likes best (rank: higher first, by card category). -1 when none.
int ChooseShow(int code1, int code2, int code3, int suggester, int *rank)
{
    int codes[3], i, card, score, best = -1, bestScore = -1, seat;
    codes[0] = code1;
    codes[1] = code2;
    codes[2] = code3;
    for (i = 0; i < 3; i++) {
        card = CardOfCode(codes[i]);
        if (card >= 0) {
            score = rank[CatOf(card)];
            if (suggester >= 0 && suggester < 6 && (gShownTo[suggester] & (1 << card)) != 0)
                score = score + 1000;
            for (seat = 0; seat < 6; seat++)
                if ((gShownTo[seat] & (1 << card)) != 0) score = score + 100;
            if (score > bestScore) {
                bestScore = score;
                best = codes[i];
            }
        }
    }
    return best;
}

void RecordShown(int code, int suggester)
{
    int card = CardOfCode(code);
    if (card >= 0 && suggester >= 0 && suggester < 6) gShownTo[suggester] = gShownTo[suggester] | (1 << card);
}

// Steps from where I stand to each room (0-8) and to the accusation spot (9),
// walking the corridors and entering a door only from its side; -1 unreachable.
#define BOARD_W 24
#define BOARD_H 25
int gDist[10];
int gCellDist[600];
int gQueue[600];
int gQueueTail;

void Reach(int x, int y, int d, int dir)
{
    int code, room;
    if (x < 0 || x >= BOARD_W || y < 0 || y >= BOARD_H) return;
    code = get_map(x, y);
    if (code == 0) {
        if (gCellDist[y * BOARD_W + x] < 0) {
            gCellDist[y * BOARD_W + x] = d;
            gQueue[gQueueTail] = y * BOARD_W + x;
            gQueueTail++;
        }
    } else if (code >= 16 && (code & (16 << dir)) != 0) {
        room = code & 15;
        if (room <= 9 && (gDist[room] < 0 || d < gDist[room])) gDist[room] = d;
    }
}

// Starts the walk from a corridor cell (or from the cells outside a room's doors,
// one step away, when `room` is 0-8, or below the spot when it is 9).
void Distances(int x, int y, int room)
{
    int i, cell, cx, cy, code, d;
    for (i = 0; i < 600; i++) gCellDist[i] = -1;
    for (i = 0; i < 10; i++) gDist[i] = -1;
    gQueueTail = 0;
    if (room < 0) {
        Reach(x, y, 0, 0);
        if (gQueueTail == 0) {
            // Not on a corridor cell: nothing to walk from.
            return;
        }
    } else {
        for (i = 0; i < 600; i++) {
            cx = i % BOARD_W;
            cy = i / BOARD_W;
            code = get_map(cx, cy);
            if (code >= 16 && (code & 15) == room) {
                if (code & 16) Reach(cx, cy + 1, 1, 1);
                if (code & 32) Reach(cx, cy - 1, 1, 0);
                if (code & 64) Reach(cx + 1, cy, 1, 3);
                if (code & 128) Reach(cx - 1, cy, 1, 2);
            }
        }
    }
    for (i = 0; i < gQueueTail; i++) {
        cell = gQueue[i];
        cx = cell % BOARD_W;
        cy = cell / BOARD_W;
        d = gCellDist[cell] + 1;
        Reach(cx, cy - 1, d, 0);
        Reach(cx, cy + 1, d, 1);
        Reach(cx - 1, cy, d, 2);
        Reach(cx + 1, cy, d, 3);
    }
}

#endif
