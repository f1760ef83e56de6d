// The sound device object and the 128 sound-effect slots.
#pragma once

class SFXSound {
public:
    SFXSound() = default;
    ~SFXSound() = default;
    // Opens the sound device for the program window; false when there is none.
    bool Create();
    bool IsOpen() const { return open_; }

private:
    bool open_ = false;
};

class SFXSoundBuffer {
public:
    SFXSoundBuffer() = default;
    ~SFXSoundBuffer() = default;
};
