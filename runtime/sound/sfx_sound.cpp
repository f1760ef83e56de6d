#include "sound/sfx_sound.h"

// The device opens when sound effects arrive; until then the program runs silent, as
// it does on a machine without sound.
bool SFXSound::Create() {
    open_ = false;
    return open_;
}
