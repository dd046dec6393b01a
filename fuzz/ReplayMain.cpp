// Runs a target over every file of the corpus folders (or single files) named on the command
// line, so the ordinary build checks the seeds and every finding kept in the repository without
// libFuzzer. A broken property aborts, which fails the test.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"

namespace fs = std::filesystem;

namespace {

bool Replay(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << file << "\n";
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        std::error_code error;
        if (fs::is_directory(path, error)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        } else {
            files.push_back(path);
        }
    }
    if (files.empty()) {
        std::cerr << "no input to replay\n";
        return 1;
    }
    // In name order, so a failure names the same file on every machine.
    std::sort(files.begin(), files.end());
    int unreadable = 0;
    for (const fs::path& file : files) {
        std::cerr << "replaying " << file.filename().string() << "\n";
        unreadable += Replay(file) ? 0 : 1;
    }
    std::cout << files.size() - static_cast<size_t>(unreadable) << " inputs replayed\n";
    return unreadable == 0 ? 0 : 1;
}
