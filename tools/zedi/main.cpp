// zedi: developer tool for scripts and script images.
//   zedi dump IMAGE.so                      prints an image readably
//   zedi compile SOURCE.sc [-o OUT.so]      compiles a script into an image
//   zedi preprocess SOURCE.sc               prints the preprocessed lines
//   zedi run [--limit N] SCRIPT FUNCTION [INT ARG...]
//                                           runs an exported function, prints its result;
//                                           with --limit, the initialisation routine, the
//                                           function and the clean-up routine may each
//                                           execute at most N instructions
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Builtins.h"
#include "Compiler.h"
#include "Dump.h"
#include "Format.h"
#include "GameHeader.h"
#include "HostCall.h"
#include "Instance.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: zedi dump IMAGE.so\n"
                 "       zedi compile SOURCE.sc [-o OUT.so]\n"
                 "       zedi preprocess SOURCE.sc\n"
                 "       zedi run [--limit N] SCRIPT FUNCTION [INT ARG...]\n");
    return 2;
}

bool EndsWith(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Reads a whole file for `dump`, saying why when it can't.
bool ReadImageFile(const char* path, std::vector<uint8_t>& image) {
    switch (zedi::ReadImageFile(path, image)) {
    case zedi::ImageFile::ok: return true;
    case zedi::ImageFile::cannotOpen: std::fprintf(stderr, "zedi: cannot open %s\n", path); break;
    case zedi::ImageFile::cannotRead: std::fprintf(stderr, "zedi: cannot read %s\n", path); break;
    case zedi::ImageFile::tooBig: std::fprintf(stderr, "zedi: %s is larger than any script image\n", path); break;
    }
    return false;
}

scScript Compile(const char* path) {
    scScript image = scCompile_File(path);
    if (!image) {
        if (scLast_Error == 0)
            std::fprintf(stderr, "zedi: cannot open %s\n", path);
        else
            std::fprintf(stderr, "%s\n", scLast_Error_Text);
    }
    return image;
}

// print(char* format, ...) for script authors.
int Print(const char* format, scVarArgs args) {
    std::string error;
    std::vector<char> out(65536);
    int n = scFormat(out.data(), out.size(), format, args, &error);
    if (n < 0) throw std::runtime_error(error);
    std::fputs(out.data(), stdout);
    return n;
}

// argv[2] on: [--limit N] SCRIPT FUNCTION [INT ARG...].
int Run(int argc, char** argv) {
    long long limit = -1;  // instructions of each run, -1 none
    if (argc >= 3 && std::strcmp(argv[2], "--limit") == 0) {
        char* end = nullptr;
        if (argc < 6 || (limit = std::strtoll(argv[3], &end, 10)) < 0 || end == argv[3] || *end) return Usage();
        argc -= 2;
        argv += 2;
    }
    scRegister_Kernel_Header();
    scSet_Routine_Budget(limit);
    std::string path = argv[2];
    scScript image = EndsWith(path, ".so") ? scLoad_Script(path.c_str()) : Compile(path.c_str());
    if (!image) {
        if (EndsWith(path, ".so")) std::fprintf(stderr, "zedi: cannot load %s: %s\n", path.c_str(), scLast_Error_Text);
        return 1;
    }
    scRegister_Host_Symbol("print", Print);
    scInstance* inst = scCreate_Instance(image);
    if (!inst) {
        std::fprintf(stderr, "zedi: %s\n", scLast_Error_Text);
        std::free(image);
        return 1;
    }
    int symbol = scGet_Symbol(inst, argv[3]);
    if (symbol == -1) {
        std::fprintf(stderr, "zedi: %s exports no function %s\n", path.c_str(), argv[3]);
        scFree_Instance(inst);
        std::free(image);
        return 1;
    }
    std::vector<int> params;
    for (int i = 4; i < argc; i++) params.push_back(int(std::strtol(argv[i], nullptr, 0)));
    zedi::ClearError();
    scSet_Instruction_Budget(inst, limit);
    int result = scVCall_Instance(inst, symbol, int(params.size() * 4), params.data());
    int rc = 0;
    if (scLast_Error) {
        std::fprintf(stderr, "%s\n", scLast_Error_Text);
        rc = 1;
    } else {
        std::fflush(stdout);
        std::printf("%d\n", result);
    }
    // The clean-up routine: its error (a destructor stopped by the limit) too.
    zedi::ClearError();
    scFree_Instance(inst);
    if (scLast_Error) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", scLast_Error_Text);
        rc = 1;
    }
    std::free(image);
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    // Computer players' scripts include the game functions' declarations.
    npc::RegisterGameHeader();
    std::string cmd = argv[1];
    if (cmd == "dump") {
        if (argc != 3) return Usage();
        std::vector<uint8_t> image;
        if (!ReadImageFile(argv[2], image)) return 1;
        return zeditool::DumpImage(image, std::cout) ? 0 : 1;
    }
    if (cmd == "compile") {
        if (argc != 3 && !(argc == 5 && std::strcmp(argv[3], "-o") == 0)) return Usage();
        std::string out = argc == 5 ? argv[4] : std::string(argv[2]);
        if (argc == 3) {
            size_t dot = out.rfind('.');
            if (dot != std::string::npos && out.find('/', dot) == std::string::npos) out.resize(dot);
            out += ".so";
        }
        scScript image = Compile(argv[2]);
        if (!image) return 1;
        std::ofstream f(out, std::ios::binary);
        f.write(static_cast<const char*>(image), scGet_Script_Size(image));
        std::free(image);
        if (!f) {
            std::fprintf(stderr, "zedi: cannot write %s\n", out.c_str());
            return 1;
        }
        return 0;
    }
    if (cmd == "preprocess") {
        if (argc != 3) return Usage();
        std::string text;
        if (!zedi::PreprocessFile(argv[2], text)) {
            if (scLast_Error == 0)
                std::fprintf(stderr, "zedi: cannot open %s\n", argv[2]);
            else
                std::fprintf(stderr, "%s\n", scLast_Error_Text);
            return 1;
        }
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    if (cmd == "run") {
        if (argc < 4) return Usage();
        return Run(argc, argv);
    }
    return Usage();
}
