// The service objects every program has, created by start-up and released by the end
// routine in a fixed order.
#pragma once

class DXInput;
class OpenGLPrism;
class SFXSound;
class SFXSoundBuffer;
class KWNetwork;

extern DXInput* pDXin;
extern OpenGLPrism* pPrsm;
extern SFXSound* pDXsnd;
extern SFXSoundBuffer* DXwav;  // 128 slots
extern KWNetwork* pKWNet;

constexpr int __kSoundSlots = 128;
