#include "gfx2d/sprite_batch.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include "platform/window.h"

namespace {

PFNGLUSEPROGRAMPROC g_useProgram = nullptr;

// Texture times colour, as the fixed pipeline's modulate does for a sprite.
const char* const kVertexShader =
    "void main() {\n"
    "    gl_Position = ftransform();\n"
    "    gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "    gl_FrontColor = gl_Color;\n"
    "}\n";
const char* const kFragmentShader =
    "uniform sampler2D picture;\n"
    "void main() {\n"
    "    gl_FragColor = texture2D(picture, gl_TexCoord[0].st) * gl_Color;\n"
    "}\n";

}  // namespace

void __SpriteBatch::Init() {
    program_ = 0;
    auto get = [](const char* name) { return plat::GLProcAddress(name); };
    auto createShader = reinterpret_cast<PFNGLCREATESHADERPROC>(get("glCreateShader"));
    auto shaderSource = reinterpret_cast<PFNGLSHADERSOURCEPROC>(get("glShaderSource"));
    auto compileShader = reinterpret_cast<PFNGLCOMPILESHADERPROC>(get("glCompileShader"));
    auto getShaderiv = reinterpret_cast<PFNGLGETSHADERIVPROC>(get("glGetShaderiv"));
    auto createProgram = reinterpret_cast<PFNGLCREATEPROGRAMPROC>(get("glCreateProgram"));
    auto attachShader = reinterpret_cast<PFNGLATTACHSHADERPROC>(get("glAttachShader"));
    auto linkProgram = reinterpret_cast<PFNGLLINKPROGRAMPROC>(get("glLinkProgram"));
    auto getProgramiv = reinterpret_cast<PFNGLGETPROGRAMIVPROC>(get("glGetProgramiv"));
    auto getUniformLocation = reinterpret_cast<PFNGLGETUNIFORMLOCATIONPROC>(get("glGetUniformLocation"));
    auto uniform1i = reinterpret_cast<PFNGLUNIFORM1IPROC>(get("glUniform1i"));
    g_useProgram = reinterpret_cast<PFNGLUSEPROGRAMPROC>(get("glUseProgram"));
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version || version[0] < '2' || !createShader || !shaderSource || !compileShader || !getShaderiv ||
        !createProgram || !attachShader || !linkProgram || !getProgramiv || !getUniformLocation || !uniform1i ||
        !g_useProgram)
        return;  // the fixed pipeline draws the sprites
    GLuint stages[2] = {createShader(GL_VERTEX_SHADER), createShader(GL_FRAGMENT_SHADER)};
    const char* sources[2] = {kVertexShader, kFragmentShader};
    GLuint program = createProgram();
    for (int k = 0; k < 2; ++k) {
        GLint ok = 0;
        shaderSource(stages[k], 1, &sources[k], nullptr);
        compileShader(stages[k]);
        getShaderiv(stages[k], GL_COMPILE_STATUS, &ok);
        if (!ok) return;
        attachShader(program, stages[k]);
    }
    GLint linked = 0;
    linkProgram(program);
    getProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) return;
    g_useProgram(program);
    uniform1i(getUniformLocation(program, "picture"), 0);
    g_useProgram(0);
    program_ = program;
}

void __SpriteBatch::Add(const int (&xy)[8], const float (&st)[8], bool exact) {
    if (!xy_.empty() && exact != exact_) Flush();
    exact_ = exact;
    static constexpr int kOrder[6] = {0, 1, 2, 0, 2, 3};
    for (int k : kOrder) {
        xy_.push_back(xy[2 * k]);
        xy_.push_back(xy[2 * k + 1]);
        st_.push_back(st[2 * k]);
        st_.push_back(st[2 * k + 1]);
    }
}

void __SpriteBatch::Flush() {
    if (xy_.empty()) return;
    if (program_) g_useProgram(program_);
    if (exact_) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_INT, 0, xy_.data());
    glTexCoordPointer(2, GL_FLOAT, 0, st_.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(xy_.size() / 2));
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    if (exact_) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
    if (program_) g_useProgram(0);
    xy_.clear();
    st_.clear();
}
