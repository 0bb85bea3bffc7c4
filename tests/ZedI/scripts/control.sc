// Control flow.
import void check(int id, int ok);

int classify(int n)
{
    int r = 0;
    switch (n) {
    case 1:
        r = 10;
        break;
    case 2:
        r = 20;
        if (n == 2) {
            r = 21;
        }
        break;
        r = 99;
        break;
    case 3:
        r = 30;                           // runs on into the next case
    case 4:
        r += 40;
        break;
    default:
        r = -1;
    }
    return r;
}

int run()
{
    int i, n = 0, x = 5;
    if (x > 3) n = 1; else n = 2;
    check(1, n == 1);
    if (x < 3) n = 1; else n = 2;
    check(2, n == 2);
    n = 0;
    for (i = 0; i < 10; i++) n += i;
    check(3, n == 45);
    n = 0;
    while (n < 100) n += 7;
    check(4, n == 105);
    do n--; while (n > 50);
    check(5, n == 50);
    check(6, classify(1) == 10);
    check(7, classify(2) == 21);
    check(8, classify(3) == 70);
    check(9, classify(4) == 40);
    check(10, classify(9) == -1);
    check(11, (x || 0) == 5);             // || gives its left value
    check(12, (0 || x) == 1);
    check(13, (x && 0) == 0);
    check(14, (x > 4 ? 100 : 200) == 100);
    n = 0;
    for (;;) {
        n++;
        if (n == 3) return n;
    }
    return 0;
}
export run;
