// Internal: the services that run once per frame inside SHOWSCREEN. Start-up installs them; the
// order they run in is fixed by their step, whoever installs them:
//
//   before the frame is presented      after it is presented
//   1 MusicRepeat  restart ended music  5 ShotWrite   write that screenshot
//   2 EndKeys      Escape, Alt+F4 end   6 FrameCount  count, frame hook, frame cap
//   3 ShotCapture  read a screenshot    7 InputFrame  key script/recording frame
//   (4 the renderer presents and waits) 8 Network     the network session's service
#pragma once

enum class __FrameStep {
    MusicRepeat,
    EndKeys,
    ShotCapture,
    ShotWrite,
    FrameCount,
    InputFrame,
    Network,
    Count
};

// Installs the service of a step; null removes it. One service a step.
void __SetFrameService(__FrameStep step, void (*service)());
// Runs the installed services of the steps before presenting, or after it, in order.
void __RunFrameServicesBeforePresent();
void __RunFrameServicesAfterPresent();
