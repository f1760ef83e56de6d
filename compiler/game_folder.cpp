// Game folders: making a new one, and finding the program and assets of one.
#include "game_folder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/byte_io.h"

namespace fs = std::filesystem;

namespace tvc {

namespace {

// The starting game. @NAME@ becomes the folder's name.
const char* const kProgram = R"BAS(' @NAME@: a starting game. The arrow keys steer the ball, Space plays its sound,
' Escape ends the game. Its pictures and sounds are in assets/, packed into the program.
SETTINGS TITLE "@NAME@", WIDTH 640, HEIGHT 480

LOADSPRITE "ball.bmp", 0
LOADSOUND "beep.wav", 0, 2
x = 304 : y = 224
dx = 3 : dy = 2

WHILE 1
    IF KEY(203) THEN dx = -3          ' Left
    IF KEY(205) THEN dx = 3           ' Right
    IF KEY(200) THEN dy = -3          ' Up
    IF KEY(208) THEN dy = 3           ' Down
    IF KEY(57) AND NOT spaceHeld THEN Beep   ' Space
    spaceHeld = KEY(57)

    x = x + dx : y = y + dy
    IF x < 0 OR x > 608 THEN
        dx = -dx : x = x + 2 * dx
        Beep
    ENDIF
    IF y < 24 OR y > 448 THEN
        dy = -dy : y = y + 2 * dy
        Beep
    ENDIF

    FILLRECT 0, 0, 640, 480, 0x402818
    FILLRECT 0, 20, 640, 22, 0x80C0E0
    SPRITE 0, x, y
    PRINT "Arrows steer, Space beeps, Escape ends", 8, 2
    SHOWSCREEN
WEND

' Plays the sound from where the ball is, left to right.
SUB Beep
    PLAYSOUND 0, (x - 304) / 304, 0.6
END SUB
)BAS";

const char* const kReadme = R"(# @NAME@
A game in Tolvane BASIC: `tolvanec run` in this folder plays it, `tolvanec build` makes the program `@NAME@`.
`@NAME@.bas` is the program, `assets/` its pictures and sounds; the language: @DOCS@/language.md, the commands: @DOCS@/commands.md.
)";

std::string Fill(std::string text, const std::string& key, const std::string& value) {
    for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    return text;
}

// A 32 x 32 ball, lit from the upper left, on the colour sprites take as transparent.
std::vector<uint8_t> BallPicture() {
    constexpr int kSide = 32;
    ByteWriter w;
    const uint32_t pixels = kSide * kSide * 3;
    w.Text("BM").U32(54 + pixels).U32(0).U32(54);
    w.U32(40).I32(kSide).I32(kSide).U16(1).U16(24).U32(0).U32(pixels).I32(2835).I32(2835).U32(0).U32(0);
    for (int row = kSide - 1; row >= 0; --row) {  // bottom row first
        for (int col = 0; col < kSide; ++col) {
            const double dx = col + 0.5 - kSide / 2.0, dy = row + 0.5 - kSide / 2.0;
            const double r = std::sqrt(dx * dx + dy * dy);
            if (r > kSide / 2.0 - 1) {
                w.U8(128).U8(0).U8(255);  // blue, green, red: the transparent colour
                continue;
            }
            const double light = std::clamp(1.0 - std::hypot(dx + 6, dy + 6) / kSide, 0.25, 1.0);
            const bool rim = r > kSide / 2.0 - 3;
            const double red = rim ? 120 : 255 * light, green = rim ? 60 : 200 * light, blue = rim ? 10 : 40 * light;
            w.U8(static_cast<uint8_t>(blue)).U8(static_cast<uint8_t>(green)).U8(static_cast<uint8_t>(red));
        }
    }
    return w.Take();
}

// A short falling blip: 16-bit mono wave, 22050 samples a second.
std::vector<uint8_t> BeepSound() {
    constexpr int kRate = 22050, kSamples = kRate / 8;
    ByteWriter w;
    w.Text("RIFF").U32(36 + kSamples * 2).Text("WAVE");
    w.Text("fmt ").U32(16).U16(1).U16(1).U32(kRate).U32(kRate * 2).U16(2).U16(16);
    w.Text("data").U32(kSamples * 2);
    double phase = 0;
    for (int i = 0; i < kSamples; ++i) {
        const double t = static_cast<double>(i) / kSamples;
        phase += 2 * M_PI * (880 - 440 * t) / kRate;
        const double fade = std::min(1.0, (1 - t) * 8) * std::min(1.0, i / 64.0);
        w.U16(static_cast<uint16_t>(static_cast<int16_t>(std::sin(phase) * 12000 * fade)));
    }
    return w.Take();
}

bool Write(const fs::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) std::fprintf(stderr, "tolvanec: cannot write %s\n", path.string().c_str());
    return static_cast<bool>(out);
}
bool Write(const fs::path& path, const std::string& text) { return Write(path, text.data(), text.size()); }
bool Write(const fs::path& path, const std::vector<uint8_t>& bytes) { return Write(path, bytes.data(), bytes.size()); }

bool GoodName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.' || name[0] == '-') return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
               c == '.';
    });
}

}  // namespace

int MakeGameFolder(const std::string& path, const std::string& docs) {
    fs::path dir = fs::path(path).lexically_normal();
    if (dir.filename().empty()) dir = dir.parent_path();  // "name/"
    const std::string name = dir.filename().string();
    if (!GoodName(name)) {
        std::fprintf(stderr, "tolvanec: '%s' cannot name a game: use letters, digits, '-', '_' and '.' (not first)\n",
                     name.c_str());
        return 2;
    }
    std::error_code ec;
    if (fs::exists(dir, ec) || fs::is_symlink(dir, ec)) {
        std::fprintf(stderr, "tolvanec: %s already exists; name a new folder\n", dir.string().c_str());
        return 1;
    }
    if (!fs::create_directories(dir / "assets", ec)) {
        std::fprintf(stderr, "tolvanec: cannot make %s: %s\n", dir.string().c_str(), ec.message().c_str());
        return 1;
    }
    const std::string docsText = docs.empty() ? "docs" : docs;
    if (!Write(dir / (name + ".bas"), Fill(kProgram, "@NAME@", name)) ||
        !Write(dir / "README.md", Fill(Fill(kReadme, "@NAME@", name), "@DOCS@", docsText)) ||
        !Write(dir / "assets" / "ball.bmp", BallPicture()) || !Write(dir / "assets" / "beep.wav", BeepSound()))
        return 1;
    std::printf("made %s: cd %s && tolvanec run\n", dir.string().c_str(), dir.string().c_str());
    return 0;
}

std::string FolderProgram(const std::string& dir, std::string& why) {
    std::error_code ec;
    fs::path folder = fs::absolute(dir, ec).lexically_normal();
    if (folder.filename().empty()) folder = folder.parent_path();
    for (const fs::path& candidate : {folder / (folder.filename().string() + ".bas"), folder / "main.bas"})
        if (fs::is_regular_file(candidate, ec)) return candidate.string();
    std::vector<fs::path> programs;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        if (it->path().extension() == ".bas" && it->is_regular_file(ec)) programs.push_back(it->path());
    if (programs.size() == 1) return programs[0].string();
    why = programs.empty() ? "there is no .bas program in " + folder.string()
                           : folder.string() + " holds several .bas files and none is named " +
                                 folder.filename().string() + ".bas or main.bas; name the program";
    return "";
}

std::string ProgramAssets(const std::string& program) {
    std::error_code ec;
    fs::path assets = fs::absolute(program, ec).parent_path() / "assets";
    return fs::is_directory(assets, ec) ? assets.string() : "";
}

bool ChooseProgramAndAssets(std::string& source, std::string& assets, bool defaultAssets) {
    std::error_code ec;
    if (source.empty()) {
        std::string why;
        source = FolderProgram(".", why);
        if (source.empty()) {
            std::fprintf(stderr, "tolvanec: %s\n", why.c_str());
            return false;
        }
        source = fs::relative(source, fs::current_path(ec), ec).string();
    }
    if (assets.empty() && defaultAssets) assets = ProgramAssets(source);
    if (!assets.empty() && !fs::is_directory(assets, ec)) {
        std::fprintf(stderr, "tolvanec: --assets %s is not a folder\n", assets.c_str());
        return false;
    }
    return true;
}

}  // namespace tvc
