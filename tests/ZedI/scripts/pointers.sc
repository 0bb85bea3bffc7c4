// Pointers, arrays and structs.
import void check(int id, int ok);

struct Pt { char tag; int x; short y; };
Pt origin = {1, 20, 30};
int table[5] = {10, 20, 30, 40, 50};
int grid[2][3] = {{1, 2, 3}, {4, 5, 6}};
char name[8] = "abc";
char *greeting = "hello";
int *second = table;
int copy = 20;

int sum(int *p, int n)
{
    int s = 0;
    while (n > 0) {
        s += *p;
        p += 1;                           // compound assignment does not scale
        p += 3;
        n--;
    }
    return s;
}

Pt make(int x, int y)
{
    Pt r;
    r.tag = 9;
    r.x = x;
    r.y = y;
    return r;
}

int sumPt(Pt a, Pt b) { return a.x + b.x + a.y + b.y; }

int run()
{
    int local[4] = {1, 2, 3, 4};
    char text[6] = "xyz";
    Pt p;
    Pt *pp = &p;
    int *ip = table;
    int i;
    check(1, table[2] == 30);
    check(2, *(ip + 1) == 20);            // + scales by the element size
    check(3, 1 + ip == (int)ip + 1);      // int + pointer does not
    check(4, sum(table, 3) == 60);        // p += 1 and p += 3 advance one int
    check(5, grid[1][2] == 6);
    check(6, local[3] == 4 && text[1] == 'y' && text[3] == 0);
    check(7, name[2] == 'c' && name[3] == 0);
    check(8, greeting[4] == 'o');
    check(9, origin.tag == 1 && origin.x == 20 && origin.y == 30);
    check(10, sizeof(Pt) == 10);
    pp->x = 5;
    pp->y = 6;
    p.tag = 7;
    check(11, p.x == 5 && p.y == 6 && pp->tag == 7);
    p = origin;
    check(12, p.x == 20);
    for (i = 0; i < 5; i++) table[i] = i * i;
    check(13, table[4] == 16);
    i = 3;
    check(14, local[i] == 4);
    *ip = 99;
    check(15, table[0] == 99);
    check(16, copy == 20);
    check(17, sizeof(table) == 20 && sizeof(grid) == 24);
    ip = &i;
    ++*ip;
    check(18, i == 4);
    p = make(3, 4);
    check(19, p.tag == 9 && p.x == 3 && p.y == 4);
    check(20, make(5, 6).x == 5);
    check(21, sumPt(origin, p) == 57);
    return 0;
}
export run;
