#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/smart_pointer.h"

// Effect (.fx) files as the tools see them: the effect source is read and
// parsed, not compiled. Pass 0 of the first technique selects one entry point
// per pipeline stage, and each entry point's signature gives the vertex (or
// stage) input semantics it consumes. The source conventions are described in
// docs/formats.md.

namespace Render {
// Pipeline stages in binding order; the vertex stage is 0.
enum ShaderStage : int {
    VertexStage = 0,
    HullStage = 1,
    DomainStage = 2,
    GeometryStage = 3,
    PixelStage = 4,
    ShaderStageCount = 5,
};
} // namespace Render

// One entry point of an effect and the input semantics it declares.
class Shader {
  public:
    Shader(std::string entryPoint, std::string profile, std::vector<std::string> inputSemantics)
        : entryPoint_(std::move(entryPoint)), profile_(std::move(profile)),
          inputSemantics_(std::move(inputSemantics)) {}

    const std::string& entryPoint() const { return entryPoint_; }
    // The target profile named where the entry point is compiled ("vs_5_0").
    const std::string& profile() const { return profile_; }
    // As declared, in declaration order, struct members expanded ("POSITION",
    // "TEXCOORD0", ...).
    const std::vector<std::string>& inputSemantics() const { return inputSemantics_; }

  private:
    std::string entryPoint_;
    std::string profile_;
    std::vector<std::string> inputSemantics_;
};

// The shaders an effect binds for drawing: one per stage, or none.
class EffectBinding {
  public:
    // The shader of `stage` (a Render::ShaderStage), or null.
    const Shader* getShader(int stage) const;
    void setShader(int stage, Shader shader);

  private:
    std::array<std::optional<Shader>, Render::ShaderStageCount> shaders_;
};

// Where draw calls are recorded. The tools record through one context of
// their own; an effect binds the same shaders in every context.
class RenderCommandContext {
  public:
    explicit RenderCommandContext(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }

  private:
    std::string name_;
};

class Effect : public ReferenceCount {
  public:
    Effect(std::string resourceID, std::string techniqueName, std::optional<EffectBinding> binding)
        : resourceID_(std::move(resourceID)), techniqueName_(std::move(techniqueName)),
          binding_(std::move(binding)) {}

    const std::string& resourceID() const { return resourceID_; }
    // Name of the technique that was bound ("" when unnamed or none).
    const std::string& techniqueName() const { return techniqueName_; }
    // The binding of pass 0 of the first technique; null when the effect has
    // no technique with a pass.
    const EffectBinding* getEffectBinding(const RenderCommandContext& context) const;

  private:
    std::string resourceID_;
    std::string techniqueName_;
    std::optional<EffectBinding> binding_;
};

using EffectPtr = SmartPointer<Effect>;

// Loads effects and keeps them while their source files stay unchanged.
class EffectManager {
  public:
    static EffectManager& instance();

    // The effect of the resource `fxPath`, or null when it cannot be read or
    // parsed (one warning names the file and the reason). `#include "name"`
    // is looked up next to the including file, then in `includeFolder` (a
    // resource folder), then at the resource root. `forceReload` parses the
    // source again even when no source file changed.
    EffectPtr get(const std::string& fxPath, const std::string& includeFolder, bool forceReload = false);

    void clear();

    // A source file an effect was read from, with what it looked like then.
    struct SourceStamp {
        std::string absolutePath;
        std::filesystem::file_time_type writeTime;
        std::uintmax_t size = 0;
    };

  private:
    struct Entry {
        EffectPtr effect;
        std::vector<SourceStamp> sources;
    };

    std::mutex mutex_;
    std::map<std::string, Entry> cache_;
};

class RenderSystem {
  public:
    RenderCommandContext& toolsRenderCommandContext() { return toolsContext_; }

    // True when `shader` declares an input with this semantic. Names compare
    // ignoring ASCII case; a trailing number is the semantic index, 0 when
    // absent. A semantic asked without an index matches every index
    // ("TANGENT" matches TANGENT0 and TANGENT1), one asked with an index only
    // that index ("TEXCOORD0" matches TEXCOORD and TEXCOORD0). A null shader
    // has no inputs.
    static bool inputSemanticExists(const Shader* shader, const std::string& semantic);

  private:
    RenderCommandContext toolsContext_{"tools"};
};

namespace Render {
RenderSystem& rs();
} // namespace Render
