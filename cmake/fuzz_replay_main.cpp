// Replays a fuzz target's corpus without libFuzzer: every file named on the command line,
// or found in a folder named there, is passed once to LLVMFuzzerTestOneInput. A crash or a
// sanitizer report fails the run; so does an empty corpus, which would test nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> CollectInputs(int argc, char** argv)
{
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
                if (entry.is_regular_file(error)) {
                    inputs.push_back(entry.path());
                }
            }
        } else if (std::filesystem::is_regular_file(arg, error)) {
            inputs.push_back(arg);
        } else {
            std::fprintf(stderr, "replay: no such corpus: %s\n", argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::filesystem::path> inputs = CollectInputs(argc, argv);
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no corpus files\n");
        return 1;
    }
    for (const auto& input : inputs) {
        std::ifstream stream(input, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(stream)),
                                std::istreambuf_iterator<char>());
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", input.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "replay: %zu inputs passed\n", inputs.size());
    return 0;
}
