// The standard classes from `zedi run`: builds a text with string and measures a vector.
#include stdlib
import int print(char *format, ...);

int words(int n)
{
    string s = "";
    int i;
    for (i = 0; i < n; i++) {
        string w = i;
        s += w;
        s += ",";
    }
    s.del(s.length() - 1, 1);
    vector v(3.0, 4.0, 12.0);
    print("%s %g\n", s.cstr, v.length());
    return s.length();
}
export words;
