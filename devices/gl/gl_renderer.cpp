#include "devices/gl/gl_renderer.h"

#include <algorithm>
#include <cstring>

#include "devices/gl/gl_api.h"
#include "devices/gl/sampler_mapping.h"
#include "devices/core/surface_resource.h"

namespace quillmark::gl {
namespace {

using core::ClipVertex;
using core::CoordinateSource;
using core::kStageCount;

constexpr std::uint32_t kPositionFloats = 4;
constexpr std::uint32_t kCoordinateFloats = 3;

// The mode of a primitive type TransformDrawVertices accepted.
GLenum ModeOf(D3DPRIMITIVETYPE type) {
    if (type == D3DPT_TRIANGLESTRIP) return GL_TRIANGLE_STRIP;
    return type == D3DPT_TRIANGLEFAN ? GL_TRIANGLE_FAN : GL_TRIANGLES;
}

// Uploads bind their texture on a unit no stage uses, so that the stages'
// bindings stay as they are.
void BindForUpload(GLuint texture) {
    glActiveTexture(GL_TEXTURE0 + kStageCount);
    glBindTexture(GL_TEXTURE_2D, texture);
}

std::array<float, 4> ColorOf(const core::Color4& c) { return {c.r, c.g, c.b, c.a}; }

GLuint CompileShader(GLenum kind, const std::string& source) {
    const GLuint shader = glCreateShader(kind);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

GlRenderer::GlRenderer(std::shared_ptr<GlContext> context, core::Surface& backBuffer,
                       core::Surface* depthBuffer)
    : context_(std::move(context)) {
    color_ = {core::TargetMirror(&backBuffer), 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4};
    if (depthBuffer) depth_ = {core::TargetMirror(depthBuffer), 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, 2};
}

GlRenderer::~GlRenderer() {
    context_->MakeCurrent();
    for (auto& [key, program] : programs_) glDeleteProgram(program.name);
    textures_.ForgetAll([](GLuint name) { glDeleteTextures(1, &name); });
    glDeleteSamplers(GLsizei(samplers_.size()), samplers_.data());
    glDeleteBuffers(1, &vertexBuffer_);
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteTextures(1, &color_.texture);
    if (depth_.mirror.surface()) glDeleteTextures(1, &depth_.texture);
}

bool GlRenderer::Initialise(std::string* error) {
    context_->MakeCurrent();
    const GLsizei width = GLsizei(color_.mirror.surface()->Traits().width);
    const GLsizei height = GLsizei(color_.mirror.surface()->Traits().height);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glGenTextures(1, &color_.texture);
    glBindTexture(GL_TEXTURE_2D, color_.texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color_.texture, 0);
    if (depth_.mirror.surface()) {
        glGenTextures(1, &depth_.texture);
        glBindTexture(GL_TEXTURE_2D, depth_.texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT16, width, height, 0, GL_DEPTH_COMPONENT,
                     GL_UNSIGNED_SHORT, nullptr);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth_.texture, 0);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        *error = "the driver cannot render into an RGBA8 colour and 16-bit depth framebuffer";
        return false;
    }
    glGenVertexArrays(1, &vertexArray_);
    glGenBuffers(1, &vertexBuffer_);
    glGenSamplers(GLsizei(samplers_.size()), samplers_.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (glGetError() != GL_NO_ERROR) {
        *error = "the driver failed to create the framebuffer and buffers";
        return false;
    }
    return true;
}

// The framebuffer holds the image upside down by OpenGL's convention: its
// first row is the top row, as in memory, so rows copy as they are.
void GlRenderer::TakeUp(Target& target) {
    if (!target.mirror.NeedsTakeUp()) return;
    const core::PixelStore& pixels = target.mirror.surface()->Pixels();
    BindForUpload(target.texture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(pixels.rowPitch / target.bytesPerPixel));
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(pixels.width), GLsizei(pixels.height), target.format, target.type,
                    pixels.bytes.data());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    target.mirror.TookUp();
}

void GlRenderer::ReadBack(Target& target) {
    if (!target.mirror.NeedsReadBack()) return;
    core::PixelStore& pixels = target.mirror.surface()->Pixels();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glPixelStorei(GL_PACK_ROW_LENGTH, GLint(pixels.rowPitch / target.bytesPerPixel));
    glReadPixels(0, 0, GLsizei(pixels.width), GLsizei(pixels.height), target.format, target.type, pixels.bytes.data());
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    target.mirror.ReadBackDone();
}

void GlRenderer::BringToMemory(core::Surface& surface) {
    if (&surface != color_.mirror.surface() && &surface != depth_.mirror.surface()) return;
    context_->MakeCurrent();
    ReadBack(&surface == color_.mirror.surface() ? color_ : depth_);
}

void GlRenderer::Clear(const D3DRECT& r, DWORD flags, D3DCOLOR color, float z) {
    context_->MakeCurrent();
    GLbitfield mask = 0;
    for (auto [flag, target, bit] : {std::tuple{DWORD{D3DCLEAR_TARGET}, &color_, GLbitfield{GL_COLOR_BUFFER_BIT}},
                                     std::tuple{DWORD{D3DCLEAR_ZBUFFER}, &depth_, GLbitfield{GL_DEPTH_BUFFER_BIT}}}) {
        if (!(flags & flag) || !target->mirror.surface()) continue;
        target->mirror.WillClear(r);
        TakeUp(*target);
        target->mirror.MarkDrawn();
        mask |= bit;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glEnable(GL_SCISSOR_TEST);
    glScissor(r.x1, r.y1, r.x2 - r.x1, r.y2 - r.y1);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(float((color >> 16) & 0xFF) / 255.0f, float((color >> 8) & 0xFF) / 255.0f,
                 float(color & 0xFF) / 255.0f, float(color >> 24) / 255.0f);
    glClearDepth(z);
    glClear(mask);
    glDisable(GL_SCISSOR_TEST);
}

namespace {

// Whether every level's rows can be handed to OpenGL as they lie in memory.
bool RowsFit(core::TextureInternals& texture, const GlTextureFormat& format) {
    for (std::uint32_t l = 0; l < texture.Traits().levels; ++l) {
        const core::PixelStore& store = texture.Store(0, l);
        const bool fits = format.dataFormat == 0 ? store.rowPitch == store.RowBytes(store.width)
                                                 : store.rowPitch % store.RowBytes(1) == 0;
        if (!fits) return false;
    }
    return true;
}

}  // namespace

// A format the driver samples goes up as it is; any other is decoded as
// the reference device decodes it for its own sampler.
bool GlRenderer::UploadTexture(core::TextureInternals& texture, Textures::Entry& entry) {
    const GlTextureFormat* native = NativeFormatOf(texture.Traits().format, context_->Info().nativeFormats);
    if (native && !RowsFit(texture, *native)) native = nullptr;
    const bool fresh = entry.copy == 0;
    if (fresh) glGenTextures(1, &entry.copy);
    BindForUpload(entry.copy);
    if (native)
        UploadAsStored(texture, *native, fresh);
    else if (!UploadDecoded(texture, fresh))
        return false;
    if (fresh) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(texture.Traits().levels) - 1);
    Textures::MarkUploaded(entry, texture);
    return true;
}

void GlRenderer::UploadAsStored(core::TextureInternals& texture, const GlTextureFormat& format, bool fresh) {
    for (std::uint32_t l = 0; l < texture.Traits().levels; ++l) {
        const core::PixelStore& store = texture.Store(0, l);
        const auto width = GLsizei(store.width), height = GLsizei(store.height);
        if (format.dataFormat == 0) {
            const auto size = GLsizei(store.slicePitch);  // one slice of whole block rows
            if (fresh)
                glCompressedTexImage2D(GL_TEXTURE_2D, GLint(l), format.internalFormat, width, height, 0, size,
                                       store.bytes.data());
            else
                glCompressedTexSubImage2D(GL_TEXTURE_2D, GLint(l), 0, 0, width, height, format.internalFormat, size,
                                          store.bytes.data());
            continue;
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(store.rowPitch / store.RowBytes(1)));
        if (fresh)
            glTexImage2D(GL_TEXTURE_2D, GLint(l), GLint(format.internalFormat), width, height, 0, format.dataFormat,
                         format.type, store.bytes.data());
        else
            glTexSubImage2D(GL_TEXTURE_2D, GLint(l), 0, 0, width, height, format.dataFormat, format.type,
                            store.bytes.data());
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (fresh) glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, format.swizzle.data());
}

bool GlRenderer::UploadDecoded(core::TextureInternals& texture, bool fresh) {
    core::SampledTexture sampled;
    if (!decoded_.Prepare(texture, &sampled)) return false;
    for (std::uint32_t l = 0; l < sampled.levels.size(); ++l) {
        const core::SampledLevel& level = sampled.levels[l];
        const void* data = sampled.native ? static_cast<const void*>(level.argb) : level.decoded;
        const GLenum format = sampled.native ? GL_BGRA : GL_RGBA;
        const GLenum type = sampled.native ? GL_UNSIGNED_INT_8_8_8_8_REV : GL_FLOAT;
        glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(level.rowTexels));
        if (fresh)
            glTexImage2D(GL_TEXTURE_2D, GLint(l), sampled.native ? GL_RGBA8 : GL_RGBA32F, GLsizei(level.width),
                         GLsizei(level.height), 0, format, type, data);
        else
            glTexSubImage2D(GL_TEXTURE_2D, GLint(l), 0, 0, GLsizei(level.width), GLsizei(level.height), format, type,
                            data);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (fresh) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, sampled.opaque ? GL_ONE : GL_ALPHA);
    return true;
}

// Binds each sampling stage's texture (uploaded when it changed) and
// sampler.
HRESULT GlRenderer::BindTextures(const core::DrawPlan& plan, StageShaderKey& key) {
    key.program = &plan.program;
    key.coordinateSet.fill(-1);
    for (std::uint32_t s = plan.program.start; s < plan.program.count; ++s) {
        const core::PlannedStage& stage = plan.stages[s];
        if (!stage.texture) continue;
        Textures::Entry& entry = textures_.Use(*stage.texture);
        if (!Textures::Current(entry, *stage.texture) && !UploadTexture(*stage.texture, entry))
            return D3DERR_INVALIDCALL;

        const GlSampling sampling = MapSampler(stage.sampler);
        glActiveTexture(GL_TEXTURE0 + s);
        glBindTexture(GL_TEXTURE_2D, entry.copy);
        const GLuint sampler = samplers_[s];
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GLint(sampling.minFilter));
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GLint(sampling.magFilter));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GLint(sampling.wrapS));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GLint(sampling.wrapT));
        glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, sampling.borderColor.data());
        glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, sampling.lodBias);
        glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, sampling.minLod);
        glSamplerParameterf(sampler, GL_TEXTURE_MAX_LOD, sampling.maxLod);
        if (context_->Info().maxAnisotropy > 1)
            glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY, sampling.maxAnisotropy);
        glBindSampler(s, sampler);

        key.coordinateSet[s] = int(stage.coordinateSet);
        key.projected[s] = stage.projected;
    }
    return S_OK;
}

// Transforms the vertices as the reference device does and hands OpenGL
// clip-space positions with y turned over (the framebuffer's first row is
// the top row), moved by half a pixel right and down (Direct3D 9 puts pixel
// centres at integer coordinates, OpenGL at half-integers). Where OpenGL
// takes Direct3D's depth range 0 <= z <= w (glClipControl), z goes as it
// is; elsewhere it is taken to [-w, w].
void GlRenderer::UploadVertices(const core::DrawCall& call) {
    const core::DeviceState& state = call.state;
    const std::vector<CoordinateSource>& sources = call.plan.sources;
    core::TransformDrawVertices(call, clipVertices_);

    const float dx = 1.0f / float(state.viewport.Width), dy = 1.0f / float(state.viewport.Height);
    const bool zeroToOne = context_->Info().clipControl;
    const float zScale = zeroToOne ? 1.0f : 2.0f, zShift = zeroToOne ? 0.0f : -1.0f;
    const std::uint32_t floats = kPositionFloats + kCoordinateFloats * std::uint32_t(sources.size());
    vertexData_.resize(std::size_t{floats} * clipVertices_.size());
    float* out = vertexData_.data();
    for (const ClipVertex& v : clipVertices_) {
        *out++ = v.x + v.w * dx;
        *out++ = v.w * dy - v.y;
        *out++ = zScale * v.z + zShift * v.w;
        *out++ = v.w;
        out = std::copy_n(v.attributes.begin(), kCoordinateFloats * sources.size(), out);
    }
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertexData_.size() * sizeof(float)), vertexData_.data(), GL_STREAM_DRAW);
    const auto strideBytes = GLsizei(floats * sizeof(float));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, kPositionFloats, GL_FLOAT, GL_FALSE, strideBytes, nullptr);
    for (std::uint32_t k = 0; k < sources.size(); ++k) {
        glEnableVertexAttribArray(1 + k);
        const auto offset = (kPositionFloats + kCoordinateFloats * k) * sizeof(float);
        glVertexAttribPointer(1 + k, kCoordinateFloats, GL_FLOAT, GL_FALSE, strideBytes,
                              reinterpret_cast<const void*>(offset));
    }
    for (std::uint32_t k = std::uint32_t(sources.size()); k < kStageCount; ++k) glDisableVertexAttribArray(1 + k);
}

const GlRenderer::Program* GlRenderer::ProgramFor(const StageShaderKey& key, int coordinateSets) {
    const StageShaderSource source = GenerateStageShaders(key, coordinateSets);
    auto found = programs_.find(source.key);
    if (found != programs_.end()) return &found->second;
    const GLuint vertex = CompileShader(GL_VERTEX_SHADER, source.vertex);
    const GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, source.fragment);
    if (!vertex || !fragment) {
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        return nullptr;
    }
    Program program;
    program.name = glCreateProgram();
    glAttachShader(program.name, vertex);
    glAttachShader(program.name, fragment);
    glLinkProgram(program.name);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(program.name, GL_LINK_STATUS, &linked);
    if (!linked) {
        glDeleteProgram(program.name);
        return nullptr;
    }
    glUseProgram(program.name);
    for (std::uint32_t s = 0; s < kStageCount; ++s) {
        const GLint location = glGetUniformLocation(program.name, ("stageTexture" + std::to_string(s)).c_str());
        if (location >= 0) glUniform1i(location, GLint(s));
    }
    program.diffuse = glGetUniformLocation(program.name, "diffuse");
    program.textureFactor = glGetUniformLocation(program.name, "textureFactor");
    program.startCurrent = glGetUniformLocation(program.name, "startCurrent");
    return &programs_.emplace(source.key, program).first->second;
}

// Viewport, depth range, depth test on the 16-bit buffer, and culling by
// the winding on screen: OpenGL measures winding with y pointing up, so in
// this upside-down framebuffer a triangle clockwise on Direct3D's screen is
// counter-clockwise, OpenGL's front face.
void GlRenderer::SetDrawState(const core::DeviceState& state) {
    const D3DVIEWPORT9& vp = state.viewport;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(GLint(vp.X), GLint(vp.Y), GLsizei(vp.Width), GLsizei(vp.Height));
    glDepthRange(vp.MinZ, vp.MaxZ);
    const auto& rs = state.renderStates;
    if (depth_.mirror.surface() && rs[D3DRS_ZENABLE] == D3DZB_TRUE) {
        glEnable(GL_DEPTH_TEST);
        const DWORD func = rs[D3DRS_ZFUNC];
        glDepthFunc(func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? GL_NEVER + (func - D3DCMP_NEVER) : GL_ALWAYS);
        glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    if (rs[D3DRS_CULLMODE] == D3DCULL_NONE) {
        glDisable(GL_CULL_FACE);
    } else {
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glCullFace(rs[D3DRS_CULLMODE] == D3DCULL_CW ? GL_FRONT : GL_BACK);
    }
}

HRESULT GlRenderer::Draw(const core::DrawCall& call) {
    context_->MakeCurrent();
    const core::DrawPlan& plan = call.plan;
    textures_.BeginDraw();
    StageShaderKey key;
    const HRESULT bound = BindTextures(plan, key);
    decoded_.ForgetUnused();
    if (FAILED(bound)) return bound;
    UploadVertices(call);
    const Program* shaders = ProgramFor(key, int(plan.sources.size()));
    if (!shaders) return D3DERR_DRIVERINTERNALERROR;

    TakeUp(color_);
    TakeUp(depth_);
    SetDrawState(call.state);
    glUseProgram(shaders->name);
    glUniform4fv(shaders->diffuse, 1, ColorOf(plan.program.diffuse).data());
    glUniform4fv(shaders->textureFactor, 1, ColorOf(plan.program.textureFactor).data());
    glUniform4fv(shaders->startCurrent, 1, ColorOf(plan.program.startCurrent).data());
    glDrawArrays(ModeOf(plan.type), 0, GLsizei(clipVertices_.size()));
    color_.mirror.MarkDrawn();
    if (depth_.mirror.surface() && glIsEnabled(GL_DEPTH_TEST) && call.state.renderStates[D3DRS_ZWRITEENABLE])
        depth_.mirror.MarkDrawn();
    textures_.ForgetUnused([](GLuint name) { glDeleteTextures(1, &name); });
    return S_OK;
}

}  // namespace quillmark::gl
