// Internal: screenshots of unattended runs, of frames and of movie pictures alike: 24-bit
// bitmaps named <dir>/<kind>-NNNNNN.bmp (NNNNNN the number, six digits or more).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes the picture (RGB rows, bottom row first), making the folder when it is
// missing; a file that cannot be written is named on standard error. False then.
bool __WriteScreenshot(const std::string& dir, const char* kind, long long number, int width, int height,
                       const std::vector<uint8_t>& rgb);
// Reads the renderer's back buffer and writes it so.
bool __SaveScreenshot(const std::string& dir, const char* kind, long long number);
