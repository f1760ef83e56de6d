// Translations of small programs compared as text with the C++ kept beside them in
// tests/compiler/golden/ (NAME.bas -> NAME.cpp): the order of evaluation, records,
// CONSTs, renamed names, every statement and the entry point. Each kept translation
// was read when it was made; TOLVANE_BLESS=1 writes them anew after a deliberate change.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "emit.h"
#include "front.h"

namespace fs = std::filesystem;

namespace {

const fs::path kGolden = fs::path(TOLVANE_SOURCE_DIR) / "tests/compiler/golden";

// The program's C++ with its entry point, as tolvanec writes it.
std::string Translate(const std::string& name) {
    std::string text;
    if (!tvc::ReadTextFile((kGolden / name).string(), text)) return "cannot read " + name;
    const fs::path saved = fs::current_path();
    fs::current_path(kGolden);  // the sources' names as a user in that folder gives them
    const auto a = tvc::Analyze(name, text, tvc::ReadTextFile);
    fs::current_path(saved);
    if (a->diag.Items().size() > 0) return a->diag.Text();
    tvc::Settings settings = tvc::Settings::Defaults(fs::path(name).stem().string());
    settings.Apply(a->program.settings);
    return tvc::EmitCpp(a->program, settings);
}

class Golden : public testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(Golden, TranslationIsTheKeptOne) {
    const std::string name = GetParam();
    const std::string cpp = Translate(name + ".bas");
    const fs::path kept = kGolden / (name + ".cpp");
    if (const char* bless = std::getenv("TOLVANE_BLESS"); bless && std::string(bless) == "1") {
        std::ofstream(kept, std::ios::binary) << cpp;
        GTEST_SKIP() << "wrote " << kept;
    }
    std::string want;
    ASSERT_TRUE(tvc::ReadTextFile(kept.string(), want)) << kept;
    EXPECT_EQ(cpp, want);
}

INSTANTIATE_TEST_SUITE_P(Compiler, Golden, testing::Values("order", "records", "consts", "names", "statements"),
                         [](const testing::TestParamInfo<const char*>& i) { return std::string(i.param); });

// The same program gives the same text every time (nothing depends on addresses or
// on the order of a hash).
TEST(Translation, IsRepeatable) {
    EXPECT_EQ(Translate("records.bas"), Translate("records.bas"));
    std::string game;
    ASSERT_TRUE(tvc::ReadTextFile(std::string(TOLVANE_SOURCE_DIR) + "/game/stackmoor.bas", game));
    auto once = [&] {
        const fs::path saved = fs::current_path();
        fs::current_path(TOLVANE_SOURCE_DIR);
        const auto a = tvc::Analyze("game/stackmoor.bas", game, tvc::ReadTextFile);
        fs::current_path(saved);
        return tvc::EmitCpp(a->program, tvc::Settings::Defaults("Stackmoor"));
    };
    EXPECT_EQ(once(), once());
}
