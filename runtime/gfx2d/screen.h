// The screen: ending a frame, the frame rate, clearing, the screen's size and the
// viewport.
#pragma once

// Ends the frame: stamps the frame clock, runs the per-frame services before
// presenting (music repeat, Escape / Alt+F4 end the program, ...), presents the frame
// and waits for the frame period, runs the services after presenting, then starts the
// next frame on the background with the whole screen as viewport and full alpha.
double SHOWSCREEN();
// Clears the colour buffer and forgets the background, so later frames start black.
double BLACKSCREEN();
// The program's resolution settings.
double GETSCREENSIZE(double& w, double& h);
// Narrows drawing to a rectangle; a width or height below 1 selects the screen's size.
double VIEWPORT(double x, double y, double w, double h);
// Frame period of the limiter: 1000 / n ms, or 2 ms for n <= 0.
double LIMITFPS(double n);
