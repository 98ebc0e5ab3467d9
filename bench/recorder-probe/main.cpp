// recorder-probe: prints, as one JSON object per line, what the viewer reads of movies,
// recorder data files and folders. It never fails on a file it cannot read (the line says
// why); it exits with 2 only when its own arguments are wrong.
#include <iostream>
#include <string>
#include <vector>

#include "ProbeData.h"
#include "common/AbsolutePath.h"
#include "ProbeMovie.h"
#include "ProbeScan.h"
#include "ProbeViews.h"

namespace {

int Usage() {
    std::cerr << "usage: recorder-probe movie FILE...\n"
                 "       recorder-probe tree FILE\n"
                 "       recorder-probe data [--summary] FILE...\n"
                 "       recorder-probe scan DIR\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    std::vector<std::string> files(argv + 2, argv + argc);
    const bool summary = command == "data" && files[0] == "--summary";
    if (summary) files.erase(files.begin());
    // Every argument is a path, but for the frame number of `frame`.
    for (std::size_t i = 0; i < files.size(); ++i)
        if (command != "frame" || i == 0) files[i] = orv::bench::AbsolutePath(files[i]);

    if (command == "movie") {
        orv::probe::ProbeMovie(files, std::cout);
    } else if (command == "tree") {
        if (files.size() != 1) return Usage();
        orv::probe::ProbeTree(files[0], std::cout);
    } else if (command == "scan") {
        if (files.size() != 1) return Usage();
        orv::probe::ProbeScan(files[0], std::cout);
    } else if (command == "data") {
        if (files.empty()) return Usage();
        orv::probe::ProbeData(files, summary, std::cout);
    } else if (command == "events" || command == "frame") {
        if (!orv::probe::ProbeViews(command, files, std::cout)) return Usage();
    } else {
        return Usage();
    }
    std::cout.flush();
    return 0;
}
