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
    std::vector<std::vector<std::uint8_t>> seeds(1);
    for (const auto& entry : std::filesystem::directory_iterator(argc > 1 ? argv[1] : ".")) {
        std::ifstream in(entry.path(), std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::mt19937 rng(12345);
    static const char interesting[] = ",\"\r\n:$E-+.e 0123456789/APM";
    for (int i = 0; i < 20000 + int(seeds.size()); ++i) {
        auto input = seeds[std::size_t(i) % seeds.size()];
        for (int e = i < int(seeds.size()) ? 0 : 1 + int(rng() % 8); e > 0; --e) {
            const std::size_t at = input.empty() ? 0 : rng() % input.size();
            const unsigned op = input.empty() ? 0 : rng() % 4;
            if (op == 0) input.insert(input.begin() + long(at), std::uint8_t(rng()));
            if (op == 1) input.erase(input.begin() + long(at));
            if (op == 2) input[at] = std::uint8_t(rng());
            if (op == 3) input[at] = std::uint8_t(interesting[rng() % (sizeof interesting - 1)]);
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("replayed %zu seeds and 20000 mutations of them\n", seeds.size());
}
