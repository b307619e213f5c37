// Runs a fuzz target's input function once over every file of the given
// folders (or files), as a test: no fuzzing, no libFuzzer needed. Names
// beginning with "." or "README" are not inputs.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool isInput(const fs::path& path)
{
    const std::string name = path.filename().string();
    return fs::is_regular_file(path) && !name.starts_with('.') && !name.starts_with("README");
}

// The inputs under `arg`, sorted; false when it does not exist.
bool collect(const fs::path& arg, std::vector<fs::path>& inputs)
{
    if (fs::is_regular_file(arg)) {
        inputs.push_back(arg);
        return true;
    }
    if (!fs::is_directory(arg))
        return false;
    std::vector<fs::path> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(arg))
        if (isInput(entry.path()))
            found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

std::vector<std::uint8_t> readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        // A regression folder is only created with its first input.
        if (!collect(argv[i], inputs) && fs::path(argv[i]).parent_path().filename() != "regressions") {
            std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 2;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path& input : inputs) {
        std::printf("%s\n", input.c_str());
        std::fflush(stdout);
        const std::vector<std::uint8_t> bytes = readAll(input);
        static const std::uint8_t none = 0; // libFuzzer never passes a null pointer
        LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
