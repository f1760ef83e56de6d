// Internal to start-up. Screenshots of unattended runs (TOLVANE_SHOTS=dir:k): every
// k-th presented frame is written to dir/frame-NNNNNN.bmp as a 24-bit bitmap.
#pragma once

// The frame service before presenting: reads the back buffer when the frame being
// presented is one to keep.
void __CaptureShotIfDue();
// The frame service after presenting: writes the frame read by the capture, if any.
void __WriteCapturedShot();
