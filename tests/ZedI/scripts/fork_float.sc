// Forked children and float arithmetic. fork_float_stored.so is this script as
// the compiler of an earlier version wrote it (the child's end was then
// MOV r0, -1; FORK r0, -1): stored images keep running as they did.
float gf = 1.5;
double gd = 0.25;
int done = 0;
double out1 = 0, out2 = 0;
float out3 = 0;
int outChild = 0;

double area(float r) { return r * r * 3.5; }

int run()
{
    int child = 0, k;
    float f = gf * 2, g;
    double d = gd + f;
    fork (child) {
        g = f + 1;
        out1 = area(g);
        done = done + 1;
    }
    fork {
        out2 = d * 2;
        done = done + 10;
    }
    for (k = 0; k < 50 && done < 11; k++) WAIT;
    out3 = f + d;
    outChild = child != 0;
    return done;
}
export run;
export done;
export out1;
export out2;
export out3;
export outChild;
