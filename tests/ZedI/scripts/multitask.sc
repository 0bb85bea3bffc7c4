// Multitasking: WAIT, fork and secured.
import void check(int id, int ok);
int shared = 0;
int steps = 0;

int run()
{
    int child = 0;
    fork (child) {
        shared = shared + 10;
    }
    check(1, child != 0);
    secured {
        steps = steps + 1;
        WAIT;
        steps = steps + 1;
    }
    WAIT;
    steps = steps + 1;
    return steps;
}
export run;
