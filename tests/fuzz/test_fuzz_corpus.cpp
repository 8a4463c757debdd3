// Replays the fuzzer's seeds and every input it ever found into the definition reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/fuzz/definition_target.h"

namespace fs = std::filesystem;

namespace {
std::vector<std::uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

TEST(FuzzCorpus, EveryInputIsBuiltOrRefused) {
    int files = 0;
    {
        for (const auto& entry : fs::directory_iterator(FUZZ_CORPUS_DIR)) {
            if (!entry.is_regular_file()) continue;
            std::vector<std::uint8_t> data = ReadAll(entry.path());
            int r = LoadDefinitionOnce(data.data(), data.size());
            EXPECT_TRUE(r == 0 || r == 1) << entry.path();
            ++files;
        }
    }
    EXPECT_GT(files, 0) << "no corpus found";
}

// The program's own definitions, without a window system, are refused only for want of a window.
TEST(FuzzCorpus, OwnDefinitionsFailOnlyForWantOfAWindow) {
    for (const char* name : {"TForm1.dfm", "TForm2.dfm"}) {
        std::vector<std::uint8_t> text = ReadAll(fs::path(RESOURCE_DIR) / name);
        std::vector<std::uint8_t> input{static_cast<std::uint8_t>(name[5] == '2')};
        input.insert(input.end(), text.begin(), text.end());
        std::string refusal;
        EXPECT_EQ(LoadDefinitionOnce(input.data(), input.size(), &refusal), 0) << name;
        EXPECT_NE(refusal.find("window system is not ready"), std::string::npos) << name << ": " << refusal;
    }
}
