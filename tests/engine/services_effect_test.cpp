#include <gtest/gtest.h>

#include "engine/core/debug_log.h"
#include "engine/render/effect_manager.h"
#include "support/resource_tree.h"

namespace {

const char* const kIncludeFolder = "Tools/Common/Models/";

const Shader* shaderOf(const EffectPtr& effect, int stage) {
    if (!effect) {
        return nullptr;
    }
    const EffectBinding* binding = effect->getEffectBinding(Render::rs().toolsRenderCommandContext());
    return binding ? binding->getShader(stage) : nullptr;
}

// A lit effect in the older pass syntax: its vertex input comes from an
// included struct, the entry point from a second include.
void writeBumpedEffect(TempResourceTree& tree) {
    tree.write("Tools/Common/Models/vertex_formats.fxh",
               "#ifndef VERTEX_FORMATS\n#define VERTEX_FORMATS \\\n  1\n"
               "struct Skin { float3 weights : BLENDWEIGHT; };\n"
               "struct BumpedVertex {\n"
               "    float4 pos : POSITION;\n"
               "    float3 normal : NORMAL;\n"
               "    float2 uv : TEXCOORD0;\n"
               "    float3 tangent : tangent0; // lower case on purpose\n"
               "    float3 binormal : BINORMAL0;\n"
               "    Skin skin;\n"
               "};\n#endif\n");
    tree.write("shaders/std_effects/lighting.fxh",
               "#include \"vertex_formats.fxh\"\n"
               "/* #include \"never_read.fxh\" */\n"
               "struct VsOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; };\n"
               "VsOut mainVS(BumpedVertex v, uniform float4x4 world, out float fog : FOG,\n"
               "             uint id : SV_VertexID) : SV_Position;\n"
               "VsOut mainVS(BumpedVertex v, uniform float4x4 world, out float fog : FOG,\n"
               "             uint id : SV_VertexID) {\n"
               "    VsOut o; o.pos = mul(v.pos, world); o.uv = v.uv; fog = 0; return o;\n"
               "}\n"
               "float4 mainPS(VsOut i) : COLOR0 { return float4(i.uv, 0, 1); }\n");
    tree.write("shaders/std_effects/PBS_bumped.fx",
               "// technique lowQuality { pass { VertexShader = compile vs_2_0 nothing(); } }\n"
               "#include \"lighting.fxh\"\n"
               "#include <vertex_formats.fxh>\n"
               "float4x4 worldMatrix;\n"
               "technique standard < string label = \"{ not a brace }\"; > {\n"
               "    pass P0 {\n"
               "        VertexShader = compile vs_3_0 mainVS(worldMatrix);\n"
               "        PixelShader = compile ps_3_0 mainPS();\n"
               "    }\n"
               "    pass P1 { VertexShader = NULL; }\n"
               "}\n");
}

} // namespace

TEST(ServicesEffects, ReadsInputSemanticsThroughIncludes) {
    TempResourceTree tree;
    writeBumpedEffect(tree);
    EffectPtr effect =
        EffectManager::instance().get("shaders/std_effects/PBS_bumped.fx", kIncludeFolder, true);
    ASSERT_TRUE(effect);
    EXPECT_EQ(effect->techniqueName(), "standard");

    const Shader* vertex = shaderOf(effect, Render::VertexStage);
    ASSERT_NE(vertex, nullptr);
    EXPECT_EQ(vertex->entryPoint(), "mainVS");
    EXPECT_EQ(vertex->profile(), "vs_3_0");
    // Struct members in order, nested structs expanded; uniform and output
    // parameters are not inputs.
    EXPECT_EQ(vertex->inputSemantics(),
              (std::vector<std::string>{"POSITION", "NORMAL", "TEXCOORD0", "tangent0", "BINORMAL0",
                                        "BLENDWEIGHT", "SV_VertexID"}));
    EXPECT_TRUE(RenderSystem::inputSemanticExists(vertex, "TANGENT"));
    EXPECT_TRUE(RenderSystem::inputSemanticExists(vertex, "BINORMAL"));
    EXPECT_TRUE(RenderSystem::inputSemanticExists(vertex, "Tangent0"));
    EXPECT_FALSE(RenderSystem::inputSemanticExists(vertex, "TANGENT1"));
    EXPECT_TRUE(RenderSystem::inputSemanticExists(vertex, "BLENDWEIGHT0"));
    EXPECT_FALSE(RenderSystem::inputSemanticExists(vertex, "FOG"));
    EXPECT_FALSE(RenderSystem::inputSemanticExists(nullptr, "TANGENT"));

    const Shader* pixel = shaderOf(effect, Render::PixelStage);
    ASSERT_NE(pixel, nullptr);
    EXPECT_EQ(pixel->inputSemantics(), (std::vector<std::string>{"SV_Position", "TEXCOORD0"}));
    EXPECT_EQ(shaderOf(effect, Render::GeometryStage), nullptr);
    EXPECT_EQ(shaderOf(effect, 17), nullptr);

    // Unchanged sources give the loaded effect back; an edit is picked up.
    EXPECT_EQ(EffectManager::instance().get("shaders/std_effects/PBS_bumped.fx", kIncludeFolder).get(),
              effect.get());
    tree.write("Tools/Common/Models/vertex_formats.fxh",
               "struct BumpedVertex { float4 pos : POSITION; float3 normal : NORMAL; };\n"
               "struct Skin { float3 weights : BLENDWEIGHT; };\n");
    EffectPtr edited = EffectManager::instance().get("shaders/std_effects/PBS_bumped.fx", kIncludeFolder);
    ASSERT_TRUE(edited);
    EXPECT_NE(edited.get(), effect.get());
    EXPECT_FALSE(RenderSystem::inputSemanticExists(shaderOf(edited, Render::VertexStage), "TANGENT"));
}

TEST(ServicesEffects, ShaderVariablesAndIncludeCycles) {
    TempResourceTree tree;
    // a.fxh and b.fxh include each other; c.fxh is found at the resource root.
    tree.write("shaders/a.fxh",
               "#include \"b.fxh\"\nstruct VIn { float3 pos : POSITION; float2 uv : TEXCOORD; };\n");
    tree.write("shaders/b.fxh", "#include \"a.fxh\"\n#include \"c.fxh\"\n");
    tree.write("c.fxh", "float4 shade(float2 uv) { return float4(uv, 0, 1); }\n");
    tree.write("shaders/plain.fx",
               "#include \"a.fxh\"\n"
               "float4 vsMain(in VIn v) : SV_Position { return float4(v.pos, 1); }\n"
               "VertexShader plainVS = CompileShader(vs_5_0, vsMain());\n"
               "technique11 {\n"
               "    pass { SetVertexShader(plainVS); SetPixelShader(CompileShader(ps_5_0, shade())); }\n"
               "}\n");
    DebugLog::Capture log;
    EffectPtr effect = EffectManager::instance().get("shaders/plain.fx", kIncludeFolder, true);
    ASSERT_TRUE(effect);
    EXPECT_EQ(log.lines().size(), 0u);
    EXPECT_EQ(effect->techniqueName(), "");

    const Shader* vertex = shaderOf(effect, Render::VertexStage);
    ASSERT_NE(vertex, nullptr);
    EXPECT_EQ(vertex->profile(), "vs_5_0");
    EXPECT_EQ(vertex->inputSemantics(), (std::vector<std::string>{"POSITION", "TEXCOORD"}));
    EXPECT_TRUE(RenderSystem::inputSemanticExists(vertex, "TEXCOORD0"));
    // A plain shader without tangents.
    EXPECT_FALSE(RenderSystem::inputSemanticExists(vertex, "TANGENT"));
    EXPECT_FALSE(RenderSystem::inputSemanticExists(vertex, "BINORMAL"));
    ASSERT_NE(shaderOf(effect, Render::PixelStage), nullptr);
    EXPECT_EQ(shaderOf(effect, Render::PixelStage)->inputSemantics(), std::vector<std::string>{});
}

TEST(ServicesEffects, BrokenEffectsDoNotLoad) {
    TempResourceTree tree;
    tree.write("shaders/missing_include.fx", "#include \"nowhere.fxh\"\ntechnique t { pass p { } }\n");
    tree.write("shaders/undefined_entry.fx",
               "technique t { pass p { VertexShader = compile vs_3_0 absent(); } }\n");
    tree.write("shaders/unbalanced.fx", "float4 f() { return 0;\ntechnique t { pass p { } }\n");
    tree.write("shaders/open_comment.fx", "technique t { pass p { } } /* never closed\n");
    tree.write("shaders/self.fx",
               "#include \"self.fx\"\nfloat4 vs(float3 p : POSITION) : SV_Position { return 0; }\n"
               "technique t { pass p { VertexShader = compile vs_3_0 vs(); } }\n");
    tree.write("shaders/no_technique.fx", "float4 vs(float3 p : POSITION) : SV_Position { return 0; }\n");
    for (int i = 0; i < 40; ++i) {
        tree.write("shaders/deep" + std::to_string(i) + ".fxh",
                   "#include \"deep" + std::to_string(i + 1) + ".fxh\"\n");
    }
    tree.write("shaders/deep40.fxh", "\n");
    tree.write("shaders/deep.fx", "#include \"deep0.fxh\"\n");

    DebugLog::Capture log;
    EffectManager& effects = EffectManager::instance();
    EXPECT_FALSE(effects.get("shaders/missing_include.fx", kIncludeFolder, true));
    EXPECT_EQ(log.count("shaders/missing_include.fx: cannot find include \"nowhere.fxh\""), 1u);
    EXPECT_FALSE(effects.get("shaders/undefined_entry.fx", kIncludeFolder, true));
    EXPECT_EQ(log.count("shaders/undefined_entry.fx: vertex shader entry point 'absent' is not defined"), 1u);
    EXPECT_FALSE(effects.get("shaders/unbalanced.fx", kIncludeFolder, true));
    EXPECT_FALSE(effects.get("shaders/open_comment.fx", kIncludeFolder, true));
    EXPECT_FALSE(effects.get("shaders/deep.fx", kIncludeFolder, true));
    EXPECT_EQ(log.lines().size(), 5u);
    EXPECT_EQ(log.count("shaders/deep.fx: "), 1u);

    // Not found: null, and not a bad file.
    EXPECT_FALSE(effects.get("shaders/absent.fx", kIncludeFolder, true));
    EXPECT_FALSE(effects.get("", kIncludeFolder, true));
    size_t warnings = 0;
    for (const DebugLog::Line& line : log.lines()) {
        warnings += line.priority >= DebugLog::Warning ? 1 : 0;
    }
    EXPECT_EQ(warnings, 5u);

    // A file including itself is read once.
    EffectPtr self = effects.get("shaders/self.fx", kIncludeFolder, true);
    ASSERT_TRUE(self);
    EXPECT_TRUE(RenderSystem::inputSemanticExists(shaderOf(self, Render::VertexStage), "POSITION"));
    // Without a technique there is nothing to bind.
    EffectPtr bare = effects.get("shaders/no_technique.fx", kIncludeFolder, true);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->getEffectBinding(Render::rs().toolsRenderCommandContext()), nullptr);
}
