// Runs LLVMFuzzerTestOneInput over every file named on the command line, or
// every regular file in a named directory, so that fuzz seeds and kept crash
// inputs replay as ordinary tests in builds without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int RunFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    int failures = 0, runs = 0;
    for (int i = 1; i < argc; i++) {
        fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            for (const auto& entry : fs::recursive_directory_iterator(arg)) {
                if (!entry.is_regular_file()) continue;
                failures += RunFile(entry.path());
                runs++;
            }
        } else {
            failures += RunFile(arg);
            runs++;
        }
    }
    printf("replayed %d inputs\n", runs);
    return failures ? 1 : 0;
}
