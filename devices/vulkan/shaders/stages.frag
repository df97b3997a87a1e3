#version 450
#extension GL_EXT_control_flow_attributes : require
// The texture stages, specialised per stage configuration: stage s's
// operations, arguments and coordinate set are packed into stageS (the
// layout is in stage_constants.h), and the stages from stageStart to
// stageCount run.
layout(constant_id = 0) const uint stage0 = 0;
layout(constant_id = 1) const uint stage1 = 0;
layout(constant_id = 2) const uint stage2 = 0;
layout(constant_id = 3) const uint stage3 = 0;
layout(constant_id = 4) const uint stage4 = 0;
layout(constant_id = 5) const uint stage5 = 0;
layout(constant_id = 6) const uint stage6 = 0;
layout(constant_id = 7) const uint stage7 = 0;
layout(constant_id = 8) const uint stageStart = 0;
layout(constant_id = 9) const uint stageCount = 0;

layout(set = 0, binding = 0) uniform sampler2D stageTexture0;
layout(set = 0, binding = 1) uniform sampler2D stageTexture1;
layout(set = 0, binding = 2) uniform sampler2D stageTexture2;
layout(set = 0, binding = 3) uniform sampler2D stageTexture3;
layout(set = 0, binding = 4) uniform sampler2D stageTexture4;
layout(set = 0, binding = 5) uniform sampler2D stageTexture5;
layout(set = 0, binding = 6) uniform sampler2D stageTexture6;
layout(set = 0, binding = 7) uniform sampler2D stageTexture7;

layout(push_constant) uniform Colors {
    vec4 diffuse;
    vec4 textureFactor;
    vec4 startCurrent;
} colors;

layout(location = 0) in vec3 coordinates[8];
layout(location = 0) out vec4 color;

const uint kSourceDiffuse = 0u, kSourceCurrent = 1u, kSourceTexture = 2u;
const uint kComplement = 4u, kAlphaReplicate = 8u;
const uint kSelectArg1 = 0u, kSelectArg2 = 1u, kAlphaDisabled = 3u;
const uint kSetShift = 20u, kProjected = 1u << 24;

vec4 Sample(uint stage, vec2 at) {
    switch (stage) {
        case 0u: return texture(stageTexture0, at);
        case 1u: return texture(stageTexture1, at);
        case 2u: return texture(stageTexture2, at);
        case 3u: return texture(stageTexture3, at);
        case 4u: return texture(stageTexture4, at);
        case 5u: return texture(stageTexture5, at);
        case 6u: return texture(stageTexture6, at);
        default: return texture(stageTexture7, at);
    }
}

// The texel a stage reads: opaque black without a coordinate set.
vec4 Texel(uint stage, uint code) {
    const uint set = (code >> kSetShift) & 15u;
    if (set == 0u) return vec4(0.0, 0.0, 0.0, 1.0);
    const vec3 c = coordinates[set - 1u];
    return Sample(stage, (code & kProjected) != 0u ? c.xy / c.z : c.xy);
}

vec4 Argument(uint argument, vec4 texel, vec4 current) {
    const uint source = argument & 3u;
    vec4 value = source == kSourceDiffuse ? colors.diffuse
               : source == kSourceCurrent ? current
               : source == kSourceTexture ? texel : colors.textureFactor;
    if ((argument & kComplement) != 0u) value = vec4(1.0) - value;
    if ((argument & kAlphaReplicate) != 0u) value = value.aaaa;
    return value;
}

vec4 Combine(uint op, uint arguments, vec4 texel, vec4 current) {
    const vec4 a = Argument(arguments & 15u, texel, current);
    const vec4 b = Argument((arguments >> 4) & 15u, texel, current);
    return op == kSelectArg1 ? a : op == kSelectArg2 ? b : a * b;
}

void main() {
    const uint stages[8] = uint[8](stage0, stage1, stage2, stage3, stage4, stage5, stage6, stage7);
    vec4 current = colors.startCurrent;
    [[unroll]] for (uint s = 0u; s < 8u; ++s) {
        if (s < stageStart || s >= stageCount) continue;
        const uint code = stages[s];
        const vec4 texel = Texel(s, code);
        vec4 next;
        next.rgb = clamp(Combine(code & 3u, code >> 4, texel, current).rgb, 0.0, 1.0);
        const uint alphaOp = (code >> 2) & 3u;
        next.a = alphaOp == kAlphaDisabled ? current.a : clamp(Combine(alphaOp, code >> 12, texel, current).a, 0.0, 1.0);
        current = next;
    }
    color = current;
}
