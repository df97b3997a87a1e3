#include "devices/gl/stage_shader.h"

namespace quillmark::gl {
namespace {

using core::StageArgument;
using core::StageStep;

std::string Argument(const StageArgument& arg) {
    std::string value;
    switch (arg.source) {
        case D3DTA_DIFFUSE: value = "diffuse"; break;
        case D3DTA_TEXTURE: value = "texel"; break;
        case D3DTA_TFACTOR: value = "textureFactor"; break;
        default: value = "current"; break;
    }
    if (arg.complement) value = "(vec4(1.0) - " + value + ")";
    if (arg.alphaReplicate) value = "(" + value + ").aaaa";
    return value;
}

std::string Combine(DWORD op, const StageArgument& a, const StageArgument& b) {
    if (op == D3DTOP_SELECTARG1) return Argument(a);
    if (op == D3DTOP_SELECTARG2) return Argument(b);
    return Argument(a) + " * " + Argument(b);
}

// The texel a stage reads (opaque black without a texture).
std::string TexelCode(std::uint32_t stage, int set, bool projected) {
    if (set < 0) return "    texel = vec4(0.0, 0.0, 0.0, 1.0);\n";
    const std::string c = "coordinates" + std::to_string(set);
    const std::string uv = projected ? c + ".xy / " + c + ".z" : c + ".xy";
    return "    texel = texture(stageTexture" + std::to_string(stage) + ", " + uv + ");\n";
}

// One stage: the texel it reads, then CURRENT replaced by the saturated
// colour and alpha results (ALPHAOP DISABLE keeps the alpha).
std::string StageCode(const StageStep& step, std::uint32_t stage, int set, bool projected) {
    std::string code = TexelCode(stage, set, projected);
    code += "    next.rgb = clamp((" + Combine(step.colorOp, step.color1, step.color2) + ").rgb, 0.0, 1.0);\n";
    if (step.alphaOp == D3DTOP_DISABLE)
        code += "    next.a = current.a;\n";
    else
        code += "    next.a = clamp((" + Combine(step.alphaOp, step.alpha1, step.alpha2) + ").a, 0.0, 1.0);\n";
    code += "    current = next;\n";
    return code;
}

}  // namespace

StageShaderSource GenerateStageShaders(const StageShaderKey& key, int coordinateSets) {
    const core::StageProgram& p = *key.program;
    StageShaderSource out;
    std::string vertexIn, vertexOut, fragmentIn, copies;
    for (int k = 0; k < coordinateSets; ++k) {
        const std::string n = std::to_string(k);
        vertexIn += "layout(location = " + std::to_string(k + 1) + ") in vec3 vertexCoordinates" + n + ";\n";
        vertexOut += "out vec3 coordinates" + n + ";\n";
        fragmentIn += "in vec3 coordinates" + n + ";\n";
        copies += "    coordinates" + n + " = vertexCoordinates" + n + ";\n";
    }
    out.vertex = "#version 330 core\nlayout(location = 0) in vec4 position;\n" + vertexIn + vertexOut +
                 "void main() {\n    gl_Position = position;\n" + copies + "}\n";

    std::string samplers, body;
    for (std::uint32_t s = p.start; s < p.count; ++s) {
        const int set = key.coordinateSet[s];
        if (set >= 0) samplers += "uniform sampler2D stageTexture" + std::to_string(s) + ";\n";
        body += StageCode(p.steps[s], s, set, key.projected[s]);
    }
    if (p.textureTimesWhite) {
        // One stage modulating its texture with a white CURRENT: the texel
        // itself (the 8-bit framebuffer saturates it).
        const std::uint32_t s = p.start;
        const bool modulateAlpha = p.steps[s].alphaOp == D3DTOP_MODULATE;
        body = TexelCode(s, key.coordinateSet[s], key.projected[s]) +
               (modulateAlpha ? "    current = vec4(texel.rgb, texel.a * startCurrent.a);\n"
                              : "    current = texel;\n");
    }
    out.fragment = "#version 330 core\n" + fragmentIn + samplers +
                   "uniform vec4 diffuse;\nuniform vec4 textureFactor;\nuniform vec4 startCurrent;\n"
                   "out vec4 color;\nvoid main() {\n    vec4 current = startCurrent;\n    vec4 texel;\n"
                   "    vec4 next;\n" +
                   body + "    color = current;\n}\n";
    out.key = out.vertex + out.fragment;
    return out;
}

}  // namespace quillmark::gl
