#include "gfx2d/gl_program.h"

#include <GLES3/gl3.h>

#include <cstdio>

#include "platform/window.h"

namespace {

// The version line of the context's GLSL; the sources are the same for both.
const char* VersionLine() {
    return plat::ContextKind() == plat::GLContextKind::kCore33 ? "#version 330 core\nprecision highp float;\n"
                                                               : "#version 300 es\nprecision highp float;\n";
}

GLuint CompileStage(GLenum kind, const char* source) {
    GLuint stage = glCreateShader(kind);
    const char* parts[2] = {VersionLine(), source};
    glShaderSource(stage, 2, parts, nullptr);
    glCompileShader(stage);
    GLint ok = 0;
    glGetShaderiv(stage, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        glGetShaderInfoLog(stage, sizeof log, nullptr, log);
        std::fprintf(stderr, "Tolvane: a shader does not compile: %s\n", log);
        glDeleteShader(stage);
        return 0;
    }
    return stage;
}

}  // namespace

unsigned __BuildProgram(const char* vertexSource, const char* fragmentSource, const char* const* attributes) {
    const GLuint vs = CompileStage(GL_VERTEX_SHADER, vertexSource);
    const GLuint fs = CompileStage(GL_FRAGMENT_SHADER, fragmentSource);
    if (!vs || !fs) {
        if (vs) glDeleteShader(vs);
        if (fs) glDeleteShader(fs);
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    for (GLuint i = 0; attributes && attributes[i]; ++i) glBindAttribLocation(program, i, attributes[i]);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        char log[1024] = "";
        glGetProgramInfoLog(program, sizeof log, nullptr, log);
        std::fprintf(stderr, "Tolvane: shaders do not link: %s\n", log);
        glDeleteProgram(program);
        return 0;
    }
    return program;
}
