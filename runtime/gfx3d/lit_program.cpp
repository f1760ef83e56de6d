#include "gfx3d/lit_program.h"

#include <GLES3/gl3.h>

#include <cmath>
#include <cstring>

#include "gfx2d/drawing.h"
#include "gfx2d/gl_program.h"
#include "gfx2d/prism.h"

namespace {

const char* const kVertexShader =
    "uniform mat4 projection;\n"
    "uniform mat4 modelview;\n"
    "uniform mat3 normalMatrix;\n"
    "uniform bool lighting;\n"
    "uniform int lightCount;\n"
    "uniform vec3 lightAmbient[8];\n"
    "uniform vec3 lightDiffuse[8];\n"
    "uniform vec4 lightPosition[8];\n"
    "uniform vec3 spotDirection[8];\n"
    "uniform float spotCosCutoff[8];\n"
    "uniform float pointSize;\n"
    "in vec3 position;\n"
    "in vec3 normal;\n"
    "in vec2 texCoord;\n"
    "in vec4 colour;\n"
    "out vec4 shade;\n"
    "out vec2 uv;\n"
    "void main() {\n"
    "    vec4 eye = modelview * vec4(position, 1.0);\n"
    "    gl_Position = projection * eye;\n"
    "    gl_PointSize = pointSize;\n"
    "    uv = texCoord;\n"
    "    if (!lighting) {\n"
    "        shade = colour;\n"
    "        return;\n"
    "    }\n"
    "    vec3 n = normalMatrix * normal;\n"
    "    float len = length(n);\n"
    "    if (len > 0.0) n /= len;\n"
    "    vec3 c = 0.2 * colour.rgb;\n"  // the scene's ambient light
    "    for (int i = 0; i < lightCount; ++i) {\n"
    "        vec4 lp = lightPosition[i];\n"
    "        vec3 l = lp.w == 0.0 ? lp.xyz : lp.xyz - eye.xyz * lp.w;\n"
    "        float ll = length(l);\n"
    "        if (ll > 0.0) l /= ll;\n"
    "        float spot = 1.0;\n"
    "        if (spotCosCutoff[i] > -1.5) {\n"
    "            vec3 d = spotDirection[i];\n"
    "            float dl = length(d);\n"
    "            float cosine = dl > 0.0 ? dot(-l, d / dl) : 0.0;\n"
    "            spot = cosine >= spotCosCutoff[i] ? 1.0 : 0.0;\n"
    "        }\n"
    "        c += spot * (lightAmbient[i] + max(dot(n, l), 0.0) * lightDiffuse[i]) * colour.rgb;\n"
    "    }\n"
    "    shade = vec4(clamp(c, 0.0, 1.0), colour.a);\n"
    "}\n";

const char* const kFragmentShader =
    "uniform sampler2D picture;\n"
    "uniform sampler2D normalMap;\n"
    "uniform int surface;\n"
    "uniform float alphaRef;\n"
    "in vec4 shade;\n"
    "in vec2 uv;\n"
    "out vec4 fragment;\n"
    "void main() {\n"
    "    vec4 c = shade;\n"
    "    if (surface == 1) {\n"
    "        c *= texture(picture, uv);\n"
    "    } else if (surface == 2) {\n"
    "        vec4 bump = texture(normalMap, uv);\n"
    "        float d = clamp(4.0 * dot(bump.rgb - 0.5, shade.rgb - 0.5), 0.0, 1.0);\n"
    "        c = vec4(d, d, d, bump.a) * texture(picture, uv);\n"
    "    } else if (surface == 3) {\n"
    "        c *= texture(normalMap, uv) * texture(picture, uv);\n"
    "    }\n"
    "    if (c.a <= alphaRef) discard;\n"
    "    fragment = c;\n"
    "}\n";

enum Uniform {
    kProjection,
    kModelview,
    kNormalMatrix,
    kLighting,
    kLightCount,
    kLightAmbient,
    kLightDiffuse,
    kLightPosition,
    kSpotDirection,
    kSpotCosCutoff,
    kPointSize,
    kSurface,
    kUniforms
};
const char* const kUniformNames[kUniforms] = {"projection",    "modelview",     "normalMatrix", "lighting",
                                              "lightCount",    "lightAmbient",  "lightDiffuse", "lightPosition",
                                              "spotDirection", "spotCosCutoff", "pointSize",    "surface"};

// The inverse transpose of the upper 3 x 3 of a matrix (column by column), which turns
// normals as the matrix turns surfaces; the identity for a singular matrix.
void NormalMatrix(const float* m, float out[9]) {
    const float a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], i = m[10];
    const float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const float det = a * A + b * B + c * C;
    if (!(std::fabs(det) > 0)) {
        const float id[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(out, id, sizeof id);
        return;
    }
    const float k = 1 / det;
    // The cofactor matrix over the determinant is the inverse transposed.
    const float cof[3][3] = {{A, B, C},
                             {-(b * i - c * h), a * i - c * g, -(a * h - b * g)},
                             {b * f - c * e, -(a * f - c * d), a * e - b * d}};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) out[col * 3 + row] = cof[row][col] * k;
}

}  // namespace

void __LitProgram::SetLights(const __EyeLight (&lights)[__kLitLights], unsigned on) {
    std::memcpy(lights_, lights, sizeof lights_);
    lightsOn_ = on;
    lightsSent_ = false;
}

void __LitProgram::Begin(const __LitState& state) {
    pPrsm->HandOver();
    if (!program_) {
        static const char* const attributes[] = {"position", "normal", "texCoord", "colour", nullptr};
        program_ = __BuildProgram(kVertexShader, kFragmentShader, attributes);
        glUseProgram(program_);
        for (int u = 0; u < kUniforms; ++u) at_[u] = glGetUniformLocation(program_, kUniformNames[u]);
        glUniform1i(glGetUniformLocation(program_, "picture"), 0);
        glUniform1i(glGetUniformLocation(program_, "normalMap"), 1);
        glUniform1f(glGetUniformLocation(program_, "alphaRef"), __kAlphaTestRef);
        glGenVertexArrays(1, &vertexArray_);
        glGenBuffers(2, stream_);
        lightsSent_ = false;
    }
    glUseProgram(program_);
    glBindVertexArray(vertexArray_);
    glUniformMatrix4fv(at_[kProjection], 1, GL_FALSE, pPrsm->Projection());
    glUniformMatrix4fv(at_[kModelview], 1, GL_FALSE, state.modelview);
    glUniform1i(at_[kLighting], state.lighting ? 1 : 0);
    if (state.lighting) {
        float nm[9];
        NormalMatrix(state.modelview, nm);
        glUniformMatrix3fv(at_[kNormalMatrix], 1, GL_FALSE, nm);
        if (!lightsSent_) {
            // The lights that are on, one after the other: the shader loops over them only.
            GLint count = 0;
            float ambient[3 * __kLitLights], diffuse[3 * __kLitLights], position[4 * __kLitLights];
            float spot[3 * __kLitLights], cutoff[__kLitLights];
            for (int i = 0; i < __kLitLights; ++i) {
                if (!((lightsOn_ >> i) & 1)) continue;
                const __EyeLight& l = lights_[i];
                std::memcpy(&ambient[3 * count], l.ambient, sizeof l.ambient);
                std::memcpy(&diffuse[3 * count], l.diffuse, sizeof l.diffuse);
                std::memcpy(&position[4 * count], l.position, sizeof l.position);
                std::memcpy(&spot[3 * count], l.spotDirection, sizeof l.spotDirection);
                // -2: no cone (every cosine passes).
                cutoff[count] = l.cutoff >= 180 ? -2.0f : static_cast<float>(std::cos(l.cutoff * M_PI / 180));
                ++count;
            }
            glUniform1i(at_[kLightCount], count);
            if (count > 0) {
                glUniform3fv(at_[kLightAmbient], count, ambient);
                glUniform3fv(at_[kLightDiffuse], count, diffuse);
                glUniform4fv(at_[kLightPosition], count, position);
                glUniform3fv(at_[kSpotDirection], count, spot);
                glUniform1fv(at_[kSpotCosCutoff], count, cutoff);
            }
            lightsSent_ = true;
        }
    }
    glUniform1f(at_[kPointSize], state.pointSize);
    __Surface3D surface = state.surface;
    if (!state.texture || ((surface == __Surface3D::kBump || surface == __Surface3D::kTwoTextures) && !state.normalMap))
        surface = state.texture ? __Surface3D::kTexture : __Surface3D::kColour;
    glUniform1i(at_[kSurface], static_cast<int>(surface));
    if (surface == __Surface3D::kBump || surface == __Surface3D::kTwoTextures) {
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, state.normalMap);
    }
    glActiveTexture(GL_TEXTURE0);
    if (surface != __Surface3D::kColour) glBindTexture(GL_TEXTURE_2D, state.texture);
}

void __LitProgram::Point(unsigned vertexBuffer) {
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    const GLsizei stride = sizeof(__LitVertex);
    for (GLuint a = 0; a < 4; ++a) glEnableVertexAttribArray(a);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(__LitVertex, p)));
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(__LitVertex, n)));
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(__LitVertex, uv)));
    glVertexAttribPointer(3, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<void*>(offsetof(__LitVertex, colour)));
}

void __LitProgram::MakeBuffers(const std::vector<__LitVertex>& vertices, const std::vector<uint32_t>& indices,
                               unsigned (&buffers)[2]) {
    FreeBuffers(buffers);
    if (vertices.empty() || indices.empty()) return;
    pPrsm->HandOver();
    glBindVertexArray(0);  // the element buffer binding is no vertex array's
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(__LitVertex)), vertices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(uint32_t)), indices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void __LitProgram::FreeBuffers(unsigned (&buffers)[2]) {
    if (buffers[0] || buffers[1]) glDeleteBuffers(2, buffers);
    buffers[0] = buffers[1] = 0;
}

void __LitProgram::DrawBuffers(const __LitState& state, const unsigned (&buffers)[2], size_t count) {
    if (!buffers[0] || count == 0) return;
    Begin(state);
    Point(buffers[0]);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(count), GL_UNSIGNED_INT, nullptr);
}

void __LitProgram::DrawStreamed(const __LitState& state, const std::vector<__LitVertex>& vertices,
                                const std::vector<uint32_t>* indices, unsigned shape) {
    if (vertices.empty() || (indices && indices->empty())) return;
    Begin(state);
    // New storage each time, so the GL never waits for the draw before.
    glBindBuffer(GL_ARRAY_BUFFER, stream_[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(__LitVertex)), vertices.data(),
                 GL_STREAM_DRAW);
    Point(stream_[0]);
    if (indices) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, stream_[1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices->size() * sizeof(uint32_t)),
                     indices->data(), GL_STREAM_DRAW);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices->size()), GL_UNSIGNED_INT, nullptr);
    } else {
        glDrawArrays(shape, 0, static_cast<GLsizei>(vertices.size()));
    }
}
