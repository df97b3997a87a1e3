// The OpenGL renderer of a device: draws the device's checked state through
// an OpenGL context into an offscreen framebuffer that holds the back
// buffer and depth buffer, and moves pixels between that framebuffer and the
// surfaces' memory when either side changed.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devices/gl/gl_context.h"
#include "devices/core/renderer.h"
#include "devices/core/sampled_texture.h"
#include "devices/core/target_mirror.h"
#include "devices/core/uploaded_textures.h"
#include "devices/gl/stage_shader.h"
#include "devices/gl/texture_formats.h"
#include "devices/core/vertex_processing.h"

namespace quillmark::gl {

class GlRenderer final : public core::Renderer {
public:
    GlRenderer(std::shared_ptr<GlContext> context, core::Surface& backBuffer, core::Surface* depthBuffer);
    ~GlRenderer() override;
    // Creates the framebuffer and buffers; false with the reason in *error.
    bool Initialise(std::string* error);

    void Clear(const D3DRECT& rect, DWORD flags, D3DCOLOR color, float z) override;
    HRESULT Draw(const core::DrawCall& call) override;
    void BringToMemory(core::Surface& surface) override;

private:
    // A render target: its memory, its OpenGL texture.
    struct Target {
        core::TargetMirror mirror;
        unsigned texture = 0;
        unsigned format = 0, type = 0;
        std::uint32_t bytesPerPixel = 0;
    };
    struct Program {
        unsigned name = 0;
        int diffuse = -1, textureFactor = -1, startCurrent = -1;
    };
    using Textures = core::UploadedTextures<unsigned>;

    void TakeUp(Target& target);
    void ReadBack(Target& target);
    HRESULT BindTextures(const core::DrawPlan& plan, StageShaderKey& key);
    bool UploadTexture(core::TextureInternals& texture, Textures::Entry& entry);
    void UploadAsStored(core::TextureInternals& texture, const GlTextureFormat& format, bool fresh);
    bool UploadDecoded(core::TextureInternals& texture, bool fresh);
    void UploadVertices(const core::DrawCall& call);
    const Program* ProgramFor(const StageShaderKey& key, int coordinateSets);
    void SetDrawState(const core::DeviceState& state);

    std::shared_ptr<GlContext> context_;
    Target color_;
    Target depth_;
    unsigned framebuffer_ = 0;
    unsigned vertexArray_ = 0;
    unsigned vertexBuffer_ = 0;
    std::array<unsigned, core::kStageCount> samplers_{};
    std::map<std::string, Program> programs_;
    Textures textures_;
    core::SampledTextureCache decoded_;
    std::vector<core::ClipVertex> clipVertices_;
    std::vector<float> vertexData_;
    std::vector<std::uint8_t> rows_;
};

}  // namespace quillmark::gl
