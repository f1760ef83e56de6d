#include "gfx3d/lit_program.h"

#include <GLES3/gl3.h>

#include <cmath>
#include <cstring>
#include <string>

#include "gfx2d/drawing.h"
#include "gfx2d/gl_program.h"
#include "gfx2d/prism.h"

namespace {

// The vertex stage is put together for the state it draws: with or without lighting,
// and the lights that are on one by one by their kind, so no vertex pays for branches
// or lights that do not apply (software GL runs every side of a branch).
const char* const kVertexHead =
    "uniform mat4 projection;\n"
    "uniform mat4 modelview;\n"
    "uniform mat3 normalMatrix;\n"
    "uniform vec3 lightAmbient[8];\n"
    "uniform vec3 lightDiffuse[8];\n"
    "uniform vec4 lightPosition[8];\n"
    "uniform vec3 spotDirection[8];\n"
    "uniform float spotCosCutoff[8];\n"
    "uniform float spotExponent[8];\n"
    "uniform vec3 lightAttenuation[8];\n"
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
    "    uv = texCoord;\n";
const char* const kVertexUnlit = "    shade = colour;\n}\n";
const char* const kVertexLit =
    "    vec3 n = normalMatrix * normal;\n"
    "    float len = length(n);\n"
    "    if (len > 0.0) n /= len;\n"
    "    vec3 c = 0.2 * colour.rgb;\n"  // the scene's ambient light
    "    vec4 lp;\n"
    "    vec3 l;\n"
    "    float ll;\n";
// One light's part (I stands for its number): the direction towards it ...
const char* const kLightDirectional = "    lp = lightPosition[I];\n    l = lp.xyz;\n";
const char* const kLightPlaced = "    lp = lightPosition[I];\n    l = lp.xyz - eye.xyz * lp.w;\n";
// ... made of length 1 ...
const char* const kLightNormalise =
    "    ll = length(l);\n"
    "    if (ll > 0.0) l /= ll;\n";
// ... and its part, faded by f: by its distance when it fades (a placed light's
// attenuation, ll the distance), and, in a cone, to nothing outside the cone and from the
// cone's axis by the exponent when it fades.
const char* const kLightStart = "    {\n        float f = 1.0;\n";
const char* const kFadeByDistance = "        f /= max(dot(lightAttenuation[I], vec3(1.0, ll, ll * ll)), 1e-6);\n";
const char* const kCone =
    "        vec3 d = spotDirection[I];\n"
    "        float dl = length(d);\n"
    "        float cosine = dl > 0.0 ? dot(-l, d / dl) : 0.0;\n";
const char* const kInCone = "        f *= cosine >= spotCosCutoff[I] ? 1.0 : 0.0;\n";
const char* const kFadeInCone =
    "        f *= cosine >= spotCosCutoff[I] ? pow(max(cosine, 1e-6), spotExponent[I]) : 0.0;\n";
const char* const kLightEnd =
    "        c += f * (lightAmbient[I] + max(dot(n, l), 0.0) * lightDiffuse[I]) * colour.rgb;\n"
    "    }\n";
const char* const kVertexLitEnd = "    shade = vec4(clamp(c, 0.0, 1.0), colour.a);\n}\n";

// The fragment stage for one kind of surface (SURFACE: the number of a __Surface3D).
// The colour alone is opaque (every vertex's alpha is 255), so it needs no alpha test,
// and the depth test can drop hidden fragments before they are shaded.
const char* const kLitFragmentShader =
    "uniform sampler2D picture;\n"
    "uniform sampler2D normalMap;\n"
    "uniform float alphaRef;\n"
    "in vec4 shade;\n"
    "in vec2 uv;\n"
    "out vec4 fragment;\n"
    "void main() {\n"
    "    vec4 c = shade;\n"
    "#if SURFACE == 1\n"
    "    c *= texture(picture, uv);\n"
    "#elif SURFACE == 2\n"
    "    vec4 bump = texture(normalMap, uv);\n"
    "    float d = clamp(4.0 * dot(bump.rgb - 0.5, shade.rgb - 0.5), 0.0, 1.0);\n"
    "    c = vec4(d, d, d, bump.a) * texture(picture, uv);\n"
    "#elif SURFACE == 3\n"
    "    c *= texture(normalMap, uv) * texture(picture, uv);\n"
    "    if (c.a <= alphaRef) discard;\n"
    "#endif\n"
    "    fragment = c;\n"
    "}\n";

// The kinds of lights, as the variant key holds them (two bits each from bit 7 on, one
// light after the other), and from bit kFadeBits one bit for each light that fades.
enum LightKind { kDirectional = 0, kPoint = 1, kSpot = 2 };
constexpr int kFadeBits = 23;

// Text with every "I" that stands alone replaced by the light's number.
void AppendLight(std::string& out, const char* part, int i) {
    for (const char* c = part; *c; ++c) {
        if (*c == 'I' && c[1] == ']')
            out += std::to_string(i);
        else
            out += *c;
    }
}

enum Uniform {
    kProjection,
    kModelview,
    kNormalMatrix,
    kLightAmbient,
    kLightDiffuse,
    kLightPosition,
    kSpotDirection,
    kSpotCosCutoff,
    kSpotExponent,
    kLightAttenuation,
    kPointSize,
    kUniforms
};
const char* const kUniformNames[kUniforms] = {"projection",   "modelview",        "normalMatrix",  "lightAmbient",
                                              "lightDiffuse", "lightPosition",    "spotDirection", "spotCosCutoff",
                                              "spotExponent", "lightAttenuation", "pointSize"};

// The kind of a light, and whether it fades: a spot light by a non-zero exponent, a
// placed light by attenuation other than none.
LightKind KindOf(const __EyeLight& l) { return l.cutoff < 180 ? kSpot : l.position[3] == 0 ? kDirectional : kPoint; }
bool Fades(const __EyeLight& l) {
    const LightKind kind = KindOf(l);
    if (kind == kSpot && l.exponent != 0) return true;
    return kind != kDirectional && (l.attenuation[0] != 1 || l.attenuation[1] != 0 || l.attenuation[2] != 0);
}

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
    ++lightsVersion_;
}

uint32_t __LitProgram::VariantKey(bool lighting, __Surface3D surface) const {
    uint32_t key = static_cast<uint32_t>(surface);
    if (!lighting) return key;
    key |= 1u << 2;
    int count = 0;
    for (int i = 0; i < __kLitLights; ++i) {
        if (!((lightsOn_ >> i) & 1)) continue;
        const __EyeLight& l = lights_[i];
        key |= static_cast<uint32_t>(KindOf(l)) << (7 + 2 * count);
        if (Fades(l)) key |= 1u << (kFadeBits + count);
        ++count;
    }
    return key | static_cast<uint32_t>(count) << 3;
}

__LitProgram::Variant& __LitProgram::Use(uint32_t key) {
    for (Variant& v : variants_)
        if (v.key == key) return v;
    std::string vertex = kVertexHead;
    if (key & (1u << 2)) {
        vertex += kVertexLit;
        const int count = static_cast<int>((key >> 3) & 15);
        for (int i = 0; i < count; ++i) {
            const uint32_t kind = (key >> (7 + 2 * i)) & 3;
            AppendLight(vertex, kind == kDirectional ? kLightDirectional : kLightPlaced, i);
            vertex += kLightNormalise;
            vertex += kLightStart;
            const bool fades = (key >> (kFadeBits + i)) & 1;
            if (fades && kind != kDirectional) AppendLight(vertex, kFadeByDistance, i);
            if (kind == kSpot) {
                AppendLight(vertex, kCone, i);
                AppendLight(vertex, fades ? kFadeInCone : kInCone, i);
            }
            AppendLight(vertex, kLightEnd, i);
        }
        vertex += kVertexLitEnd;
    } else {
        vertex += kVertexUnlit;
    }
    const std::string fragment = "#define SURFACE " + std::to_string(key & 3) + "\n" + kLitFragmentShader;
    static const char* const attributes[] = {"position", "normal", "texCoord", "colour", nullptr};
    Variant& v = variants_.emplace_back();
    v.key = key;
    v.program = __BuildProgram(vertex.c_str(), fragment.c_str(), attributes);
    glUseProgram(v.program);
    for (int u = 0; u < kUniforms; ++u) v.at[u] = glGetUniformLocation(v.program, kUniformNames[u]);
    glUniform1i(glGetUniformLocation(v.program, "picture"), 0);
    glUniform1i(glGetUniformLocation(v.program, "normalMap"), 1);
    glUniform1f(glGetUniformLocation(v.program, "alphaRef"), __kAlphaTestRef);
    return v;
}

void __LitProgram::Begin(const __LitState& state) {
    pPrsm->HandOver();
    if (!vertexArray_) {
        glGenVertexArrays(1, &vertexArray_);
        glGenBuffers(2, stream_);
    }
    __Surface3D surface = state.surface;
    if (!state.texture || ((surface == __Surface3D::kBump || surface == __Surface3D::kTwoTextures) && !state.normalMap))
        surface = state.texture ? __Surface3D::kTexture : __Surface3D::kColour;
    Variant& v = Use(VariantKey(state.lighting, surface));
    glUseProgram(v.program);
    glBindVertexArray(vertexArray_);
    glUniformMatrix4fv(v.at[kProjection], 1, GL_FALSE, state.projection ? state.projection : pPrsm->Projection());
    glUniformMatrix4fv(v.at[kModelview], 1, GL_FALSE, state.modelview);
    if (state.lighting) {
        float nm[9];
        NormalMatrix(state.modelview, nm);
        glUniformMatrix3fv(v.at[kNormalMatrix], 1, GL_FALSE, nm);
        if (v.lightsVersion != lightsVersion_) {
            // The lights that are on, one after the other, as the variant takes them.
            GLint count = 0;
            float ambient[3 * __kLitLights], diffuse[3 * __kLitLights], position[4 * __kLitLights];
            float spot[3 * __kLitLights], cutoff[__kLitLights], exponent[__kLitLights];
            float attenuation[3 * __kLitLights];
            for (int i = 0; i < __kLitLights; ++i) {
                if (!((lightsOn_ >> i) & 1)) continue;
                const __EyeLight& l = lights_[i];
                std::memcpy(&ambient[3 * count], l.ambient, sizeof l.ambient);
                std::memcpy(&diffuse[3 * count], l.diffuse, sizeof l.diffuse);
                std::memcpy(&position[4 * count], l.position, sizeof l.position);
                std::memcpy(&spot[3 * count], l.spotDirection, sizeof l.spotDirection);
                cutoff[count] = l.cutoff >= 180 ? -2.0f : static_cast<float>(std::cos(l.cutoff * M_PI / 180));
                exponent[count] = l.exponent;
                std::memcpy(&attenuation[3 * count], l.attenuation, sizeof l.attenuation);
                ++count;
            }
            if (count > 0) {
                glUniform3fv(v.at[kLightAmbient], count, ambient);
                glUniform3fv(v.at[kLightDiffuse], count, diffuse);
                glUniform4fv(v.at[kLightPosition], count, position);
                glUniform3fv(v.at[kSpotDirection], count, spot);
                glUniform1fv(v.at[kSpotCosCutoff], count, cutoff);
                glUniform1fv(v.at[kSpotExponent], count, exponent);
                glUniform3fv(v.at[kLightAttenuation], count, attenuation);
            }
            v.lightsVersion = lightsVersion_;
        }
    }
    glUniform1f(v.at[kPointSize], state.pointSize);
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
    // The range of the indices given, so the GL need not look through them for it.
    GLint bytes = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &bytes);
    const GLuint last = static_cast<GLuint>(bytes / static_cast<GLint>(sizeof(__LitVertex))) - 1;
    glDrawRangeElements(GL_TRIANGLES, 0, last, static_cast<GLsizei>(count), GL_UNSIGNED_INT, nullptr);
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
        glDrawRangeElements(GL_TRIANGLES, 0, static_cast<GLuint>(vertices.size() - 1),
                            static_cast<GLsizei>(indices->size()), GL_UNSIGNED_INT, nullptr);
    } else {
        glDrawArrays(shape, 0, static_cast<GLsizei>(vertices.size()));
    }
}
