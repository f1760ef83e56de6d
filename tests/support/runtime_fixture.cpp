#include "support/runtime_fixture.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "app/app.h"
#include "core/program.h"
#include "gfx2d/prism.h"

void StartRuntimeOnce() {
    if (pPrsm) return;
    ASSERT_TRUE(__GlobalInit("Tolvane tests"));
}

uint32_t ReadPixel(int x, int y) {
    pPrsm->Flush();
    unsigned char p[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(x, DQ_RESY - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return p[0] | (p[1] << 8) | (p[2] << 16);
}

void DrawRect(int x, int y, int w, int h, uint32_t rgb) {
    pPrsm->Flush();
    pPrsm->ForgetBinding();
    glDisable(GL_TEXTURE_2D);
    glColor3ub(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
    glBegin(GL_QUADS);
    glVertex2i(x, -(y + h));
    glVertex2i(x + w, -(y + h));
    glVertex2i(x + w, -y);
    glVertex2i(x, -y);
    glEnd();
    glColor3ub(255, 255, 255);
}
