int f() { return x; }
export f;
