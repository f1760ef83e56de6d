// Stackmoor's entry point: 640 x 480, windowed, 60 frames per second.
#include "tolvane.h"

int main(int argc, char** argv) { __ProgramEntry(argc, argv, __BuildSettings{}, "Stackmoor"); }
