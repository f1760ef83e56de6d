#include "sound/music.h"

#include "files/shoebox.h"
#include "platform/audio.h"

namespace {
bool g_active = false;  // a piece was started and not stopped
}  // namespace

double STOPMUSIC() {
    plat::MusicStop();
    g_active = false;
    return 0;
}

double PLAYMUSIC(DQStr file) {
    STOPMUSIC();
    if (file.Length() == 0 || !__g_ShoeBox_Media.Resolve(file)) return 3;
    if (!plat::MusicPlay(file.c_str())) return 3;
    g_active = true;
    return 0;
}

void __MusicRepeatCheck() {
    if (g_active && !plat::MusicPlaying()) plat::MusicRestart();
}

bool __MusicActive() { return g_active; }
