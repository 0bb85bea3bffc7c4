// Text built with sprintf and by hand in char arrays.
#include "print.h"

int length(char *s)
{
    int n = 0;
    while (s[n] != 0) n++;
    return n;
}

void append(char *to, char *from)
{
    int n = length(to), i = 0;
    while (from[i] != 0) {
        to[n + i] = from[i];
        i++;
    }
    to[n + i] = 0;
}

void upper(char *s)
{
    while (*s) {
        if (*s >= 'a' && *s <= 'z') *s = *s - 32;
        s++;
    }
}

int count(char *s, int c)
{
    int n = 0;
    for (; *s; s++)
        if (*s == c) n++;
    return n;
}

int main()
{
    char line[200];
    char word[64];
    char names[3][10] = {"scarlet", "mustard", "plum"};
    int i, n;
    double share = 2.0 / 3;

    line[0] = 0;
    for (i = 0; i < 3; i++) {
        sprintf(word, "%s=%d;", names[i], length(names[i]));
        append(line, word);
    }
    print("%s (%d)\n", line, length(line));
    n = sprintf(word, "[%5d|%-6s|%05.1f|%x|%c]", 42, "ab", share * 10, 255, 'Q');
    print("%s %d\n", word, n);
    upper(names[1]);
    print("%s %s %d\n", names[1], names[2], count(line, ';'));
    sprintf(line, "%s\t\"%s\"\\%d", "tab", "quote", 7);
    print("%s %d\n", line, length(line));
    for (i = 0; i < 4; i++) {
        sprintf(word, "%03d:%.2f", i * 7, share * i);
        print("%s%s", word, i < 3 ? "," : "\n");
    }
    return 0;
}
