// make-demo-card OUTDIR [--small] [--force]
// Writes a recorder card with eight recordings of every kind, their rear companions and
// data files, for trying the viewer out (or, with --small, for tests).
#include <cstdio>
#include <cstring>
#include <string>

#include "common/AbsolutePath.h"
#include "fixtures/DemoCard.h"

int main(int argc, char** argv) {
    std::string dir;
    bool small = false;
    bool force = false;
    bool bad = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--small") == 0) small = true;
        else if (std::strcmp(argv[i], "--force") == 0) force = true;
        else if (dir.empty() && argv[i][0] != '-') dir = orv::bench::AbsolutePath(argv[i]);
        else bad = true;
    }
    if (bad || dir.empty()) {
        std::fprintf(stderr, "usage: make-demo-card OUTDIR [--small] [--force]\n");
        return 2;
    }
    std::string error;
    if (!orv::fixtures::MakeDemoCard(dir, small, &error, force)) {
        std::fprintf(stderr, "make-demo-card: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", dir.c_str());
    return 0;
}
