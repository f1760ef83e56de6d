// Movies as the window shows them (movie shots read back from GL), as the mixer plays
// them (SDL's disk audio driver), with keys pressed through the event queue; and music
// files of every kind. The movies and music files are made at build time by moviegen.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/timing.h"
#include "files/shoebox.h"
#include "support/bmp_writer.h"
#include "platform/audio.h"
#include "sound/movies.h"
#include "support/audio.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

const std::string kMedia = TOLVANE_TEST_MEDIA;

class MovieTest : public testing::Test {
protected:
    void SetUp() override {
        StartRuntimeOnce();
        dir_ = fs::temp_directory_path() / ("tolvane-movie-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        __SetMovieShots(dir_.string(), 1);
        __SetMovieUnpaced(true);
    }
    void TearDown() override {
        __SetMovieShots("", 0);
        __SetMovieUnpaced(false);
        fs::remove_all(dir_);
    }
    // The last movie shot written.
    __BMPImage LastShot() {
        char name[32];
        std::snprintf(name, sizeof name, "movie-%06lld.bmp", __MoviePicturesShown());
        __BMPImage image;
        EXPECT_TRUE(ReadBitmap(dir_ / name, image)) << name;
        return image;
    }
    fs::path dir_;
};

// The colour every test movie shows (200, 80, 40), give or take the codec's rounding.
bool MovieColour(uint32_t c) {
    auto near = [](int v, int want) { return std::abs(v - want) <= 8; };
    return near(c & 0xFF, 200) && near((c >> 8) & 0xFF, 80) && near((c >> 16) & 0xFF, 40);
}

TEST_F(MovieTest, PictureFillsTheWindowByItsAspectRatio) {
    // 320 x 240 in 640 x 480: the whole window.
    long long before = __MoviePicturesShown();
    ASSERT_EQ(PLAYMOVIE(DQStr((kMedia + "/m320x240.avi").c_str())), 0);
    EXPECT_EQ(__MoviePicturesShown() - before, 30);
    __BMPImage full = LastShot();
    ASSERT_EQ(full.Width(), 640);
    for (auto [x, y] : {std::pair{0, 0}, {639, 0}, {0, 479}, {639, 479}, {320, 240}})
        EXPECT_TRUE(MovieColour(full.Colour(x, y))) << x << "," << y;

    // 320 x 180: 640 x 360 from row 60, black above and below.
    ASSERT_EQ(PLAYMOVIE(DQStr((kMedia + "/m320x180.mkv").c_str())), 0);
    __BMPImage wide = LastShot();
    for (int x : {0, 320, 639}) {
        EXPECT_EQ(wide.Colour(x, 59), 0u) << x;
        EXPECT_TRUE(MovieColour(wide.Colour(x, 60))) << x;
        EXPECT_TRUE(MovieColour(wide.Colour(x, 419))) << x;
        EXPECT_EQ(wide.Colour(x, 420), 0u) << x;
    }
    __MovieReport r = __LastMovieReport();
    EXPECT_EQ(r.shown, 25);
    EXPECT_FALSE(r.sound);  // unpaced: the sound is not played

    // No sound at all: timed by its own clock, paced (a busy machine may drop some).
    __SetMovieUnpaced(false);
    const double t0 = __ClockMs();
    ASSERT_EQ(PLAYMOVIE(DQStr((kMedia + "/silent.mpg").c_str())), 0);
    EXPECT_GT(__ClockMs() - t0, 900);
    r = __LastMovieReport();
    EXPECT_EQ(r.shown + r.dropped, 25);
    EXPECT_NEAR(r.lengthMs, 1000, 1);
}

// The shown size: anamorphic pixels (720 x 576 at 64:45, a 16:9 picture) widen it, and a
// movie to be shown turned a quarter clockwise stands on its side, its top-left corner
// (marked blue) at the top right.
TEST_F(MovieTest, PixelAspectAndRotationShapeThePicture) {
    ASSERT_EQ(PLAYMOVIE(DQStr((kMedia + "/wide.vob").c_str())), 0);
    __BMPImage wide = LastShot();
    for (int x : {2, 320, 637}) {
        EXPECT_EQ(wide.Colour(x, 58), 0u) << x;
        EXPECT_TRUE(MovieColour(wide.Colour(x, 62))) << x;
        EXPECT_TRUE(MovieColour(wide.Colour(x, 417))) << x;
        EXPECT_EQ(wide.Colour(x, 421), 0u) << x;
    }

    // 160 x 90 turned: 90 x 160, scaled by 3 to 270 x 480 from column 185.
    ASSERT_EQ(PLAYMOVIE(DQStr((kMedia + "/turned.mp4").c_str())), 0);
    __BMPImage turned = LastShot();
    for (int y : {2, 240, 477}) {
        EXPECT_EQ(turned.Colour(183, y), 0u) << y;
        EXPECT_TRUE(MovieColour(turned.Colour(188, y))) << y;
        EXPECT_EQ(turned.Colour(456, y), 0u) << y;
    }
    auto blue = [](uint32_t c) { return (c & 0xFF) < 40 && ((c >> 8) & 0xFF) < 40 && (c >> 16) > 200; };
    EXPECT_TRUE(blue(turned.Colour(445, 12)));
    EXPECT_FALSE(blue(turned.Colour(195, 12)));
    EXPECT_FALSE(blue(turned.Colour(445, 467)));
}

// A movie coded with the BT.709 matrix (tagged so) shows its own colours: red 252 stays
// 252, where the BT.601 matrix would make it 229.
TEST_F(MovieTest, ColoursFollowTheTaggedMatrix) {
    ASSERT_EQ(PLAYMOVIE(DQStr((kMedia + "/bt709.mkv").c_str())), 0);
    const uint32_t c = LastShot().Colour(100, 400);
    EXPECT_NEAR(static_cast<int>(c & 0xFF), 252, 4);
    EXPECT_NEAR(static_cast<int>((c >> 8) & 0xFF), 40, 4);
    EXPECT_NEAR(static_cast<int>(c >> 16), 40, 4);
}

// A movie file opens nothing but itself: playlists (naming a movie beside them, or one
// on a server here, which must see no connection), concatenation lists and session
// descriptions are refused.
TEST_F(MovieTest, PlaylistsAndListsOfOtherFilesAreRefused) {
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(server, 4), 0);
    socklen_t len = sizeof a;
    getsockname(server, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/part.ts";
    const std::string local = kMedia + "/m320x240.avi";
    const std::string hls = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\n";
    const std::vector<std::pair<std::string, std::string>> lists = {
        {"local.m3u8", hls + local + "\n#EXT-X-ENDLIST\n"},
        {"remote.m3u8", hls + url + "\n#EXT-X-ENDLIST\n"},
        {"list.ffconcat", "ffconcat version 1.0\nfile '" + local + "'\n"},
        {"session.sdp", "v=0\no=- 0 0 IN IP4 127.0.0.1\ns=movie\nc=IN IP4 127.0.0.1\nt=0 0\n"
                        "m=video " + std::to_string(ntohs(a.sin_port)) + " RTP/AVP 96\na=rtpmap:96 MP4V-ES/90000\n"},
    };
    const long long before = __MoviePicturesShown();
    for (const auto& [name, text] : lists) {
        const double t0 = __ClockMs();
        EXPECT_EQ(PLAYMOVIE(DQStr(WriteText(dir_ / name, text).c_str())), 3) << name;
        EXPECT_LT(__ClockMs() - t0, 3000) << name;
    }
    EXPECT_EQ(__MoviePicturesShown(), before);
    pollfd p{server, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 100), 0);  // nobody knocked
    close(server);
}

TEST_F(MovieTest, NamesFoundNowhereAndFilesThatAreNoMovie) {
    const long long before = __MoviePicturesShown();
    EXPECT_EQ(PLAYMOVIE(DQStr("")), 3);
    EXPECT_EQ(LOOPMOVIE(DQStr("/nonexistent/film.avi")), 3);
    EXPECT_EQ(PLAYMOVIE(DQStr((kMedia + "/tone.mp3").c_str())), 3);  // sound alone
    std::ofstream(dir_ / "text.avi") << "not a movie at all";
    EXPECT_EQ(PLAYMOVIE(DQStr((dir_ / "text.avi").c_str())), 3);
    EXPECT_EQ(__MoviePicturesShown(), before);
    for (const auto& e : fs::directory_iterator(dir_)) EXPECT_EQ(e.path().filename(), "text.avi");  // no shot
}

// Damaged copies of a real movie: cut short, bytes overwritten, the picture size in
// the headers made absurd. Each plays what it can or is refused, and never crashes.
TEST_F(MovieTest, DamagedMoviesNeverCrash) {
    for (const char* name : {"m320x240.avi", "m320x180.mkv", "clip.ogv"}) {
        std::ifstream in(kMedia + "/" + name, std::ios::binary);
        const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> bad = {good.substr(0, good.size() / 2), good.substr(0, 600)};
        std::string noisy = good;
        for (size_t i = 200; i < noisy.size(); i += 97) noisy[i] = static_cast<char>(noisy[i] ^ 0x5A);
        bad.push_back(noisy);
        std::string huge = good;
        // Every 32-bit 320, 180, 240 or 160 in the first kilobyte becomes 60000.
        for (size_t i = 0; i + 4 <= std::min<size_t>(huge.size(), 1024); ++i) {
            const uint32_t v = static_cast<uint8_t>(huge[i]) | static_cast<uint8_t>(huge[i + 1]) << 8 |
                               static_cast<uint8_t>(huge[i + 2]) << 16 | static_cast<uint8_t>(huge[i + 3]) << 24;
            if (v == 320 || v == 240 || v == 180 || v == 160) {
                huge[i] = static_cast<char>(0x60), huge[i + 1] = static_cast<char>(0xEA), huge[i + 2] = 0;
            }
        }
        bad.push_back(huge);
        for (size_t k = 0; k < bad.size(); ++k) {
            const fs::path file = dir_ / (std::to_string(k) + "-" + name);
            std::ofstream(file, std::ios::binary) << bad[k];
            const double r = PLAYMOVIE(DQStr(file.c_str()));
            EXPECT_TRUE(r == 0 || r == 3) << file;
        }
    }
}

TEST_F(MovieTest, PlaysFromTheMediaArchive) {
    const fs::path here = fs::read_symlink("/proc/self/exe").parent_path();
    fs::create_directories(dir_ / "in" / "Movies");
    fs::copy_file(kMedia + "/clip.ogv", dir_ / "in" / "Movies" / "clip.ogv");
    const std::string cmd = (here.parent_path() / "shoebox").string() + " pack " + (dir_ / "m.sbx").string() + " " +
                            (dir_ / "in").string() + " >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    SETSHOEBOX(DQStr(""), DQStr((dir_ / "m.sbx").c_str()));
    const double r = PLAYMOVIE(DQStr("Movies/clip.ogv"));
    SETSHOEBOX(DQStr(here.c_str()), DQStr(here.c_str()));
    EXPECT_EQ(r, 0);
    EXPECT_EQ(__LastMovieReport().shown, 10);
}

ChildResult RunMovie(const std::string& scenario, const std::string& movie, std::vector<std::string> env) {
    env.push_back("MOVIE_FILE=" + kMedia + "/" + movie);
    return RunScenario(scenario, env);
}

std::string TempPath(const std::string& name) {
    return fs::temp_directory_path() / ("tolvane-mv-" + std::to_string(getpid()) + "-" + name);
}

// A key held from before does not skip a movie, a key pressed does; the movie's sound
// is heard in the mixer's output while it plays, and only then.
TEST(MovieRun, KeysSkipAndTheSoundIsHeard) {
    const std::string mix = TempPath("keys.raw");
    ChildResult r = RunMovie("movie-keys", "m320x240.avi", {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + mix});
    ASSERT_EQ(r.status, 0) << r.err;
    int held = 0, pressed = 0;
    double heldResult = -1, pressedResult = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "held %lf %d\npressed %lf %d", &heldResult, &held, &pressedResult, &pressed),
              4) << r.out;
    EXPECT_EQ(heldResult, 0);
    EXPECT_GE(held, 950);  // played to its end
    EXPECT_EQ(pressedResult, 0);
    EXPECT_GE(pressed, 350);
    EXPECT_LT(pressed, 800);  // skipped after 0.4 s
    Mix l = ReadMix(mix);
    fs::remove(mix);
    int loud = 0;
    for (double v : l.left) loud += v > 1000;
    EXPECT_GE(loud, 24);  // 1.4 s of tone in 50 ms windows, give or take the edges
    EXPECT_LE(loud, 32);
}

// A movie shown at its own size (318 x 240 in the 320 x 240 window) is converted without
// scaling, where the converter writes whole groups of pixels and so runs past the end of
// a row that is not a whole number of groups. The pictures it writes have room for that:
// the C library's checked allocator, which notices any byte written past a block, finds
// nothing.
TEST(MovieRun, PicturesAtTheirOwnSizeStayInsideTheirBuffers) {
    const std::string checker = "/usr/lib/x86_64-linux-gnu/libc_malloc_debug.so.0";
    if (access(checker.c_str(), R_OK) != 0) GTEST_SKIP() << "no checked allocator";
    const ChildResult r = RunMovie("movie-timed", "own318.mkv", {"LD_PRELOAD=" + checker, "MALLOC_CHECK_=3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("result 0 shown 5 "), std::string::npos) << r.out;
}

// LOOPMOVIE repeats until a key; under key replay it plays once, and its pictures are
// written as movie shots (not as frames). Escape during a movie ends the program.
TEST(MovieRun, LoopRepeatsUntilSkippedAndOnceUnderReplay) {
    // The key comes 3.3 s on: in the fourth pass of a one-second movie, or the third when
    // a busy machine plays the sound slower.
    ChildResult r = RunMovie("movie-loop", "clip.ogv", {"MOVIE_KEY=31", "MOVIE_AT=3300"});
    ASSERT_EQ(r.status, 0) << r.err;
    int passes = 0, shown = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "loop 0 passes %d shown %d", &passes, &shown), 2) << r.out;
    EXPECT_GE(passes, 3);
    EXPECT_LE(passes, 4);
    EXPECT_GT(shown, (passes - 1) * 8);  // a busy machine may drop a few
    EXPECT_LE(shown, passes * 10);

    const std::string shots = TempPath("shots"), script = TempPath("keys.txt");
    std::ofstream(script) << "# no keys\n";
    r = RunMovie("movie-loop", "clip.ogv",
                 {"MOVIE_KEY=31", "MOVIE_AT=300", "TOLVANE_INPUT=" + script, "TOLVANE_SHOTS=" + shots + ":4"});
    EXPECT_EQ(r.out, "loop 0 passes 1 shown 10\n");
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(shots)) files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"movie-000004.bmp", "movie-000008.bmp"}));
    fs::remove_all(shots);
    fs::remove(script);

    r = RunMovie("movie-loop", "clip.ogv", {"MOVIE_KEY=1", "MOVIE_AT=300"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");  // ended inside the movie
}

}  // namespace
