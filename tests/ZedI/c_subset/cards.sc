// Card-tracking tables of a computer player: who has been seen with which
// suspect, weapon and room, in an int[6][3][10], filled by a fixed random walk.
#include "print.h"

#define PLAYERS 6
#define KINDS 3

int seen[PLAYERS][KINDS][10];
int counts[KINDS] = {6, 6, 9};
unsigned int seed = 12345;

int next(int n)
{
    seed = seed * 1103515245 + 12345;
    return (seed >> 16) % n;
}

int owners(int kind, int card)
{
    int p, n = 0;
    for (p = 0; p < PLAYERS; p++)
        if (seen[p][kind][card] > 0) n++;
    return n;
}

int main()
{
    int p, k, c, round, total, unknown, best, bestCard;
    for (p = 0; p < PLAYERS; p++)
        for (k = 0; k < KINDS; k++)
            for (c = 0; c < 10; c++) seen[p][k][c] = 0;
    for (round = 0; round < 40; round++) {
        p = next(PLAYERS);
        k = next(KINDS);
        c = next(counts[k]);
        seen[p][k][c]++;
        if (round % 7 == 0) seen[p][k][c] += 2;
    }
    seen[2][1][0] = 5;
    seen[0][2][8] = seen[0][2][8] + 1;
    p = 3;
    seen[p][0][5] = 4;
    seen[p][KINDS - 1][c] = 9;
    for (p = 0; p < PLAYERS; p++) {
        print("player %d:", p);
        for (k = 0; k < KINDS; k++) {
            total = 0;
            for (c = 0; c < counts[k]; c++) total = total + seen[p][k][c];
            print(" %d", total);
        }
        print("\n");
    }
    for (k = 0; k < KINDS; k++) {
        unknown = 0;
        best = -1;
        bestCard = -1;
        for (c = 0; c < counts[k]; c++) {
            if (owners(k, c) == 0) unknown++;
            if (owners(k, c) > best) {
                best = owners(k, c);
                bestCard = c;
            }
        }
        print("kind %d: %d unknown, card %d seen by %d\n", k, unknown, bestCard, best);
    }
    print("%d %d %d %u\n", seen[2][1][0], seen[0][2][8], seen[3][0][5], seed);
    return 0;
}
