// zedi: developer tool for script images.
//   zedi dump IMAGE.so   prints an image readably
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "Dump.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: zedi dump IMAGE.so\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (std::strcmp(argv[1], "dump") == 0) {
        if (argc != 3) return Usage();
        std::ifstream in(argv[2], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "zedi: cannot open %s\n", argv[2]);
            return 1;
        }
        std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return zeditool::DumpImage(image, std::cout) ? 0 : 1;
    }
    return Usage();
}
