// Host calls: imports by name, an import name, a dispatcher number, a host variable.
#title "Host calls"
#author "Tests"
import void check(int id, int ok);
import int total(int n, ...);
import(0, twice) int doubled(int x);
import double halve(double x);
import int host_counter;
int start = host_counter;

int run()
{
    check(1, doubled(21) == 42);
    check(2, halve(5) == 2.5);
    check(3, host_counter == 7);
    host_counter = 8;
    check(4, host_counter == 8);
    check(5, start == 7);
    check(6, total(2, 40, 2) == 42);
    return 0;
}
export run;
