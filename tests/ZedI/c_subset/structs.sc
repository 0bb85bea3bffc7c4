// Structures with array and structure members, arrays of structures, pointers
// to structures, structures passed, returned and copied.
#include "print.h"

typedef struct Point { int x; int y; } Point;

struct Room {
    char name[12];
    int doors[4];
    Point at;
    unsigned char flags[3];
    short size;
    int count;
};

Room rooms[3];

Point make(int x, int y)
{
    Point p;
    p.x = x;
    p.y = y;
    return p;
}

int distance(Point a, Point b)
{
    int dx = a.x - b.x, dy = a.y - b.y;
    if (dx < 0) dx = -dx;
    if (dy < 0) dy = -dy;
    return dx + dy;
}

void fill(Room *r, int base)
{
    int k;
    for (k = 0; k < 4; k++) r->doors[k] = base + k;
    r->at.x = base;
    r->at.y = base * 2;
    r->flags[0] = 1;
    r->flags[1] = 2;
    r->flags[2] = 3;
    r->size = base * 100;
    r->count = 0;
    r->name[0] = 'r';
    r->name[1] = '0' + base;
    r->name[2] = 0;
}

int total(Room *r)
{
    int k, s = 0;
    for (k = 0; k < 4; k++) s = s + r->doors[k];
    return s + r->at.x + r->at.y + r->size;
}

int main()
{
    Room local;
    Room *r;
    Point *pp;
    int i, x;

    for (i = 0; i < 3; i++) fill(&rooms[i], i + 1);
    r = &rooms[1];
    r->doors[2] = 42;
    print("%d %d %d\n", rooms[1].doors[2], r->doors[2], total(r));
    i = 2;
    rooms[i].doors[3] = 7;
    (*r).doors[1] = 9;
    r->flags[2] = 200;
    print("%d %d %d %d\n", rooms[2].doors[3], rooms[1].doors[1], (*r).doors[0], rooms[1].flags[2]);
    x = r->flags[1];
    print("%d ", x);
    x = rooms[i].flags[0];
    print("%d ", x);
    x = r->size;
    print("%d ", x);
    x = rooms[i].at.y;
    print("%d ", x);
    x = r->name[1];
    print("%d %s\n", x, rooms[i].name);

    Point a = make(1, 2);
    Point b = make(4, -6);
    print("%d %d %d %d\n", a.x, a.y, distance(a, b), distance(make(0, 0), b));
    rooms[0].at = a;
    rooms[2] = rooms[1];
    local = rooms[2];
    local.doors[0] = -1;
    print("%d %d %d %d %d\n", rooms[0].at.y, rooms[2].doors[2], local.doors[2], local.doors[0], rooms[2].doors[0]);
    pp = &rooms[i].at;
    pp->x = 11;
    (*pp).y = 12;
    print("%d %d %d\n", rooms[2].at.x, rooms[2].at.y, total(&rooms[2]));
    fill(&local, 5);
    print("%s %d %d\n", local.name, local.doors[3], total(&local));
    for (i = 0; i < 3; i++) {
        r = &rooms[i];
        r->count = r->count + i;
        r->doors[i] = r->doors[i] * 10;
        print("%s %d %d %d %d\n", r->name, r->count, r->doors[0], r->doors[1], r->doors[2]);
    }
    return 0;
}
