#title "Sieve"
import int print(char* fmt, ...);
char flags[1000];
int sieve(int n)
{
    int i, j, count;
    count = 0;
    for (i = 2; i < n; i++) flags[i] = 1;
    for (i = 2; i < n; i++) {
        if (flags[i]) {
            count++;
            for (j = i + i; j < n; j += i) flags[j] = 0;
        }
    }
    print("primes below %d: %d\n", n, count);
    return count;
}
export sieve;
