// Stands in for libFuzzer where it is not available: feeds the seed files and a fixed stream of
// pseudo-random mutations of them to the target.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::vector<std::vector<std::uint8_t>> seeds;
    if (argc > 1 && std::filesystem::is_directory(argv[1])) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
            std::ifstream in(entry.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (seeds.empty()) seeds.emplace_back();
    std::mt19937 rng(12345);
    long runs = 0;
    for (const auto& seed : seeds) {
        LLVMFuzzerTestOneInput(seed.data(), seed.size());
        ++runs;
    }
    for (int i = 0; i < 20000; ++i) {
        auto input = seeds[rng() % seeds.size()];
        const int edits = 1 + int(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const unsigned op = rng() % 4;
            if (op == 0 || input.empty()) {
                input.insert(input.begin() + (input.empty() ? 0 : rng() % input.size()),
                             std::uint8_t(rng()));
            } else if (op == 1) {
                input.erase(input.begin() + rng() % input.size());
            } else if (op == 2) {
                input[rng() % input.size()] = std::uint8_t(rng());
            } else {
                static const char interesting[] = ",\"\r\n:$E-+.e 0123456789/APM";
                input[rng() % input.size()] = std::uint8_t(interesting[rng() % (sizeof interesting - 1)]);
            }
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++runs;
    }
    std::printf("replayed %ld inputs\n", runs);
    return 0;
}
