// The path arguments of the tools and benchmarks are taken from the folder they were started
// in and made absolute before anything else: the libraries find a card's root, a movie's
// companion and its data file from absolute paths, and some tools change their folder.
#pragma once

#include <filesystem>
#include <string>

namespace orv::bench {

// `path` made absolute against the current folder, without "." and ".." parts and without a
// trailing slash (but for "/"); empty stays empty, and a path that cannot be made absolute
// (no current folder) is kept as it is.
inline std::string AbsolutePath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec) return path;
    p = p.lexically_normal();
    if (!p.has_filename() && p != p.root_path()) p = p.parent_path();
    return p.string();
}

}  // namespace orv::bench
