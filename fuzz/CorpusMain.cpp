// Runs a fuzz target's entry point once on every file of the folders (or on
// the files) named on the command line: its kept corpus as regression inputs
// in the ordinary test builds, where libFuzzer is not linked. Prints how many
// inputs ran; an input that breaks an invariant ends the program as the
// target makes it (abort, trap or a sanitizer's report).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the input's length, so that an overread shows.
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE...\n", argv[0]);
        return 2;
    }
    long inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(path, error))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const auto& f : files) {
                if (!RunFile(f))
                    return 1;
                ++inputs;
            }
        } else if (std::filesystem::is_regular_file(path, error)) {
            if (!RunFile(path))
                return 1;
            ++inputs;
        } else {
            std::fprintf(stderr, "%s: no such corpus\n", argv[i]);
            return 1;
        }
    }
    if (inputs == 0) {
        std::fprintf(stderr, "the corpus is empty\n");
        return 1;
    }
    std::printf("%ld inputs ran\n", inputs);
    return 0;
}
