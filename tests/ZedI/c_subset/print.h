// Included first by every program of this folder: what the program needs from
// outside, for the script compiler and for the C++ compiler alike.
#ifndef PRINT_H
#define PRINT_H
#ifdef ZedI
import int print(char *format, ...);
import int sprintf(char *buffer, char *format, ...);
export main;
#else
#include <cstdio>
#define print printf
// The programs test precedence and literals that fill a whole int on purpose.
#pragma GCC diagnostic ignored "-Wparentheses"
#pragma GCC diagnostic ignored "-Woverflow"
#endif
#endif
