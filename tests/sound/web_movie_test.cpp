// The browser build's movie converter (tools/webmovie.cpp, run by `tolvanec build --web`):
// the movies it converts open in the desktop's decoder with the length, the shown size
// and the turn of the original; pictures, sounds and files that are no movie go as they
// are; a second run takes the converted movies from its cache.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/movie_decoder.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

const std::string kMedia = TOLVANE_TEST_MEDIA;

struct Read {
    int width = 0, height = 0, rotation = 0;
    double lengthMs = 0;
    bool sound = false;
    std::vector<uint8_t> first;  // the first picture at the shown size, RGBA
};

Read ReadMovie(const std::string& path) {
    Read r;
    plat::MovieDecoder d;
    if (!d.Open(path)) return r;
    r.width = d.DisplayWidth();
    r.height = d.DisplayHeight();
    r.rotation = d.Rotation();
    r.sound = d.HasSound();
    std::vector<int16_t> sound;
    double ms = 0;
    for (bool more = true; more;) {
        more = d.ReadPacket();
        while (d.PicturesWaiting() > 0) {
            if (!r.first.empty()) {
                d.DropPicture();
                continue;
            }
            const uint8_t* p = d.TakePicture(r.width, r.height);
            if (p) r.first.assign(p, p + static_cast<size_t>(r.width) * r.height * 4);
        }
        while (d.TakeSound(sound, ms)) {
        }
    }
    r.lengthMs = d.DecodedEndMs();
    return r;
}

bool Blue(const Read& r, int x, int y) {
    const uint8_t* p = r.first.data() + (static_cast<size_t>(y) * r.width + x) * 4;
    return p[2] > 150 && p[0] < 90 && p[1] < 90;
}

TEST(WebMovieConverter, ConvertsWhatTheBrowserCannotPlayKeepingLengthAspectAndTurn) {
    TempDir dir;
    const fs::path assets = dir / "assets";
    fs::create_directories(assets / "Movies");
    for (const char* name : {"wide.vob", "turned.mp4", "m320x240.avi", "tone.mp3"})
        fs::copy_file(kMedia + "/" + name, assets / "Movies" / name);
    WriteText(assets / "Movies/broken.avi", "RIFF, it says, but this is no movie");
    const std::string args = "'" + assets.string() + "' '" + (dir / "staged") + "' '" + (dir / "cache") + "'";
    const std::string tool = (TestBinDir().parent_path() / "webmovie").string();

    const ChildResult first = RunProgram(tool, args);
    ASSERT_EQ(first.status, 0) << first.err;
    for (const char* name : {"wide.vob", "turned.mp4", "m320x240.avi"}) {
        const fs::path staged = fs::path(dir / "staged/Movies") / name;
        ASSERT_TRUE(fs::is_symlink(staged)) << name;
        EXPECT_EQ(fs::read_symlink(staged).extension(), ".webm") << name << ": " << first.out;
        const Read before = ReadMovie(kMedia + "/" + name), after = ReadMovie(staged.string());
        // The shown shape, the turn applied to the pictures themselves.
        EXPECT_NEAR(static_cast<double>(after.width) / after.height, static_cast<double>(before.width) / before.height,
                    0.01 * before.width / before.height)
            << name;
        EXPECT_EQ(after.rotation, 0) << name;
        EXPECT_NEAR(after.lengthMs, before.lengthMs, 0.05 * before.lengthMs) << name;
        EXPECT_EQ(after.sound, before.sound) << name;
    }
    // The corner square of the turned movie stands at the top right of its picture, in
    // the original (turned as shown) and in the conversion.
    const Read turned = ReadMovie(kMedia + "/turned.mp4"), converted = ReadMovie(dir / "staged/Movies/turned.mp4");
    ASSERT_EQ(std::pair(converted.width, converted.height), std::pair(90, 160));
    EXPECT_TRUE(Blue(turned, 84, 4) && !Blue(turned, 4, 4));
    EXPECT_TRUE(Blue(converted, 84, 4) && !Blue(converted, 4, 4));
    // Sound alone and files that are no movie go as they are.
    for (const char* name : {"tone.mp3", "broken.avi"})
        EXPECT_EQ(fs::read_symlink(fs::path(dir / "staged/Movies") / name), assets / "Movies" / name) << name;
    EXPECT_NE(first.out.find("wide.vob: converted to WebM in"), std::string::npos) << first.out;
    EXPECT_NE(first.err.find("warning: Movies/broken.avi is no movie"), std::string::npos) << first.err;
    EXPECT_EQ(first.err.find("tone.mp3"), std::string::npos) << first.err;

    // Again: nothing is converted anew.
    const ChildResult second = RunProgram(tool, args);
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out.find("converted to WebM in"), std::string::npos) << second.out;
    EXPECT_NE(second.out.find("turned.mp4: converted before"), std::string::npos) << second.out;
}

}  // namespace
