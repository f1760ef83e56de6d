// Screenshots of unattended runs (TOLVANE_SHOTS=dir:k): every k-th presented frame is
// written to dir/frame-NNNNNN.bmp as a 24-bit bitmap.
#pragma once

// Reads the back buffer when frame `frame` is one to keep (before it is presented).
void __CaptureShotIfDue(long long frame);
// Writes the frame read by the last capture, if any.
void __WriteCapturedShot();
