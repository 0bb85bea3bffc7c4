// Two- and three-dimensional arrays of int and char, global and local, with
// constant and computed indexes, and pointers to their elements.
#include "print.h"

int G[4][5];
char names[3][8] = {"ann", "bob", "cyd"};
int H[3][4][5];
int doors[9][4] = {
    {1, 3, -1, -1}, {0, 2, 4, -1}, {1, 5, -1, -1}, {0, 4, 6, -1}, {1, 3, 5, 7},
    {2, 4, 8, -1}, {3, 7, -1, -1}, {4, 6, 8, -1}, {5, 7, -1, -1},
};

int sum2(int rows)
{
    int i, j, s = 0;
    for (i = 0; i < rows; i++)
        for (j = 0; j < 5; j++) s = s + G[i][j];
    return s;
}

int main()
{
    int L[3][4];
    char C[2][6];
    int i, j, k, s;
    int *p;
    char *c;

    for (i = 0; i < 4; i++)
        for (j = 0; j < 5; j++) G[i][j] = i * 10 + j;
    i = 2;
    j = 4;
    print("%d %d %d %d %d\n", G[2][3], G[i][3], G[i][j], G[1][4], G[i - 1][j - 1]);
    G[i][1] = 99;
    G[i + 1][0] = 77;
    print("%d %d %d %d %d\n", G[2][0], G[2][1], G[2][2], G[3][0], G[3][1]);
    p = &G[i][2];
    *p = 55;
    print("%d ", G[2][2]);
    p = &G[3][0];
    print("%d %d\n", p[4], sum2(4));

    for (i = 0; i < 3; i++)
        for (j = 0; j < 4; j++) L[i][j] = 100 + i * 4 + j;
    i = 1;
    print("%d %d %d %d\n", L[i][2], L[i][3], L[2][i], L[i + 1][i + 2]);
    L[i][0] = -5;
    L[i][3] = -8;
    print("%d %d %d %d\n", L[1][0], L[1][1], L[1][2], L[1][3]);
    p = &L[i][1];
    p[1] = 33;
    print("%d\n", L[1][2]);

    for (i = 0; i < 3; i++)
        for (j = 0; j < 4; j++)
            for (k = 0; k < 5; k++) H[i][j][k] = i * 100 + j * 10 + k;
    i = 1;
    j = 2;
    k = 3;
    print("%d %d %d %d %d\n", H[1][2][3], H[i][2][3], H[i][j][3], H[i][j][k], H[2][j][4]);
    H[i][2][3] = -1;
    H[2][j][0] = -2;
    print("%d %d %d %d\n", H[1][2][2], H[1][2][3], H[1][2][4], H[2][2][0]);
    p = &H[i][3][k];
    *p = 999;
    s = 0;
    for (i = 0; i < 3; i++)
        for (j = 0; j < 4; j++)
            for (k = 0; k < 5; k++) s = s + H[i][j][k];
    print("%d\n", s);

    i = 1;
    names[i][0] = 'B';
    names[2][i] = 'Y';
    c = &names[i][1];
    *c = 'O';
    print("%s %s %s %c %c\n", names[0], names[1], names[2], names[i][2], names[2][i + 1]);
    for (i = 0; i < 2; i++) {
        for (j = 0; j < 5; j++) C[i][j] = 'a' + i * 5 + j;
        C[i][5] = 0;
    }
    i = 1;
    C[i][4] = '!';
    print("%s %s %d\n", C[0], C[1], C[i][2]);

    for (i = 0; i < 9; i++) {
        print("room %d:", i);
        for (j = 0; j < 4; j++)
            if (doors[i][j] >= 0) print(" %d", doors[i][j]);
        print(" first %d\n", doors[i][0]);
    }
    return 0;
}
