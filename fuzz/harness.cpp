#include "harness.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string_view>

#include "engine/asset_writers/mesh_import.h"
#include "engine/core/debug_log.h"
#include "engine/geometry/index_block.h"
#include "engine/geometry/vertices.h"
#include "engine/image/image.h"
#include "engine/model/visual.h"
#include "engine/physics/bsp_tree.h"
#include "engine/platform/utf8_path.h"
#include "engine/render/effect_manager.h"
#include "engine/resource/data_section.h"
#include "engine/resource/data_section_cache.h"
#include "engine/resource/file_system.h"
#include "engine/texture/texture_loader.h"
#include "model_validator/model_validator.h"
#include "model_validator/vehicle_validator.h"

namespace FuzzHarness {
namespace {

namespace fs = std::filesystem;

// One resource root for the whole process, holding a copy of the clean
// sample house; inputs are written into it as files, so that every target
// goes through the same resolution, caching and loading as a real check.
class Workspace {
  public:
    static Workspace& instance() {
        static Workspace workspace;
        return workspace;
    }

    const std::string& root() const { return root_; }

    void write(const std::string& resourcePath, const uint8_t* data, size_t size) const {
        const fs::path path = pathFromUtf8(root_ + "/" + resourcePath);
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        // The file changed behind the caches' back.
        DataSectionCache::instance().clear();
        FS::fileSystem()->invalidateCache();
    }

  private:
    Workspace() {
        std::random_device random;
        root_ = pathToUtf8(fs::temp_directory_path() / ("kx-fuzz-" + std::to_string(random())));
        fs::create_directories(pathFromUtf8(root_));
        std::error_code ignored;
        fs::copy(pathFromUtf8(std::string(KX_FUZZ_SAMPLES_DIR) + "/content/buildings/house01"),
                 pathFromUtf8(root_ + "/content/buildings/house01"), fs::copy_options::recursive, ignored);
        fs::create_directories(pathFromUtf8(root_ + "/system/data"));
        fs::copy_file(pathFromUtf8(std::string(KX_FUZZ_SAMPLES_DIR) + "/system/data/material_kinds.xml"),
                      pathFromUtf8(root_ + "/system/data/material_kinds.xml"), ignored);
        fs::copy(pathFromUtf8(std::string(KX_FUZZ_SAMPLES_DIR) + "/scripts"),
                 pathFromUtf8(root_ + "/scripts"), fs::copy_options::recursive, ignored);
        for (const char* folder : {"vehicles/clean_tank", "vehicles/maps"}) {
            fs::copy(pathFromUtf8(std::string(KX_FUZZ_SAMPLES_DIR) + "/" + folder),
                     pathFromUtf8(root_ + "/" + folder), fs::copy_options::recursive, ignored);
        }
        FS::fileSystem()->setRoots({root_});
        // The log would dominate the run time; what matters is that nothing breaks.
        DebugLog::setSink([](int, const std::string&, const std::string&) {});
    }
    ~Workspace() {
        std::error_code ignored;
        fs::remove_all(pathFromUtf8(root_), ignored);
    }

    std::string root_;
};

std::string_view bytesOf(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Reads every value of every section, breadth first and without recursion.
void readEverything(const DataSectionPtr& root) {
    std::vector<DataSectionPtr> pending{root};
    size_t visited = 0;
    while (!pending.empty() && visited++ < 100000) {
        DataSectionPtr section = pending.back();
        pending.pop_back();
        section->asString();
        section->asMatrix34();
        section->asVector4();
        section->asBool();
        section->readString("identifier");
        for (DataSectionPtr child : *section) {
            if (child) {
                pending.push_back(child);
            }
        }
    }
}

void xmlSection(const uint8_t* data, size_t size) {
    std::string error;
    const BinaryPtr bytes(new BinaryBlock(std::vector<char>(data, data + size)));
    if (DataSectionPtr root = XMLFile::parse("fuzz.xml", bytes, error)) {
        readEverything(root);
    }
}

void primitives(const uint8_t* data, size_t size) {
    std::string error;
    const BinaryPtr bytes(new BinaryBlock(std::vector<char>(data, data + size)));
    DataSectionPtr root = BinaryContainer::open("fuzz.primitives", bytes, error);
    if (!root) {
        return;
    }
    for (DataSectionPtr block : *root) {
        const BinaryPtr content = block ? block->asBinary() : nullptr;
        if (!content) {
            continue;
        }
        const std::string_view view = content->view();
        const std::string name = block->sectionName();
        std::vector<std::string> identifiers;
        if (name == "bsp2") {
            BSPTreeTool::parseBSP(view, error);
        } else if (name == "bsp2_materials") {
            BSPTreeTool::parseMaterialIDs(view, identifiers, error);
        } else if (name.find("indices") != std::string::npos) {
            IndexBlock::decode(view, error);
        } else {
            Vertices::decode(view, error);
            // As a loaded visual reads it: checked whole, positions read later.
            if (VerticesPtr lazy = Vertices::decodeLazily(content, error); lazy && lazy->count() > 0) {
                lazy->position(lazy->count() - 1);
                lazy->positions();
            }
        }
    }
}

void texture(const char* extension, const uint8_t* data, size_t size) {
    const std::string path = std::string("maps/fuzz.") + extension;
    Workspace::instance().write(path, data, size);
    TextureLoader loader;
    TextureLoader::InputOptions stored;
    stored.generateMips = false;
    if (loader.loadTextureFromFile(path, stored, "fuzz", false)) {
        TextureLoader::Output output = loader.takeOutput();
        if (output.texture) {
            for (uint32_t level : {0u, output.mipCount > 0 ? output.mipCount - 1 : 0u}) {
                if (output.texture->slowImmediateReadback(output.texture->getSubResource(level, 0))) {
                    output.texture->getReadbackBufferLayout();
                }
            }
        }
    }
    // The content checks read headers alone.
    TextureLoader::InputOptions header = stored;
    header.headerOnly = true;
    if (loader.loadTextureFromFile(path, header, "fuzz", false)) {
        loader.takeOutput();
    }
    Image::ImagePtr image = Image::createImage();
    const std::string absolute = Workspace::instance().root() + "/" + path;
    if (Image::loadImage(image, absolute)) {
        const Image::ImageInfo info = Image::getImageInfo(image);
        Image::hasChannels(info, 1);
        // The red-range test must answer as a scan of the decoded pixels does,
        // block shortcuts or not.
        for (const auto& [low, high] : {std::pair<uint8_t, uint8_t>{240, 255}, {16, 200}}) {
            bool scanned = true;
            for (size_t red = 0; red < image->pixels().pixels.size(); red += 4) {
                scanned =
                    scanned && image->pixels().pixels[red] >= low && image->pixels().pixels[red] <= high;
            }
            uint32_t channels = 0;
            const std::optional<bool> within = Image::redChannelWithin(absolute, low, high, channels);
            if (!within || *within != scanned || channels != info.channels) {
                std::abort();
            }
        }
        size_t pixels = 0;
        do {
            image->getRed();
        } while (image->goToNextPixel() && ++pixels < (1u << 22));
    }
}

void dds(const uint8_t* data, size_t size) {
    texture("dds", data, size);
}
void png(const uint8_t* data, size_t size) {
    texture("png", data, size);
}
void tga(const uint8_t* data, size_t size) {
    texture("tga", data, size);
}

// The first byte splits the input into an effect and the header it includes.
void effect(const uint8_t* data, size_t size) {
    if (size == 0) {
        return;
    }
    const size_t split = std::min<size_t>(data[0] * (size / 256 + 1), size - 1);
    const std::string main = "#include \"common.fxh\"\n" + std::string(bytesOf(data + 1, split));
    Workspace& workspace = Workspace::instance();
    workspace.write("shaders/fuzz.fx", reinterpret_cast<const uint8_t*>(main.data()), main.size());
    workspace.write("shaders/include/common.fxh", data + 1 + split, size - 1 - split);
    EffectPtr loaded = EffectManager::instance().get("shaders/fuzz.fx", "shaders/include", true);
    if (!loaded) {
        return;
    }
    RenderSystem render;
    if (const EffectBinding* binding = loaded->getEffectBinding(render.toolsRenderCommandContext())) {
        for (int stage = 0; stage < Render::ShaderStageCount; ++stage) {
            RenderSystem::inputSemanticExists(binding->getShader(stage), "TANGENT");
        }
    }
}

void mesh(const uint8_t* data, size_t size) {
    AssetWriters::Mesh out;
    std::string error;
    AssetWriters::readOBJ(bytesOf(data, size), out, error);
    AssetWriters::readPLY(bytesOf(data, size), out, error);
}

// Replaces the file the first byte picks with the rest of the input, runs
// `check`, and puts the original back for the next input.
template <size_t N>
void checkWithReplacedFile(const char* const (&files)[N], const uint8_t* data, size_t size,
                           const std::function<void()>& check) {
    if (size == 0) {
        return;
    }
    Workspace& workspace = Workspace::instance();
    const std::string target = files[data[0] % N];
    const std::string original = workspace.root() + "/" + target + ".original";
    std::error_code ignored;
    if (!fs::exists(pathFromUtf8(original))) {
        fs::copy_file(pathFromUtf8(workspace.root() + "/" + target), pathFromUtf8(original), ignored);
    }
    workspace.write(target, data + 1, size - 1);
    check();
    fs::copy_file(pathFromUtf8(original), pathFromUtf8(workspace.root() + "/" + target),
                  fs::copy_options::overwrite_existing, ignored);
}

// The first byte picks which file of the sample house the input replaces.
void modelCheck(const uint8_t* data, size_t size) {
    static const char* const files[] = {
        "content/buildings/house01/normal/lod0/house01.model",
        "content/buildings/house01/normal/lod0/house01.visual",
        "content/buildings/house01/normal/lod0/house01.primitives",
        "content/buildings/house01/normal/lod1/house01.model",
        "content/buildings/house01/normal/lod1/house01.visual",
        "system/data/material_kinds.xml",
        "scripts/destructibles.xml",
        "scripts/destructibles_effects.xml",
        "scripts/environment_effects.xml",
    };
    checkWithReplacedFile(files, data, size, [] {
        KX::ModelValidator validator;
        validator.check("content/buildings/house01/normal/lod0/house01.model");
    });
}

// The first byte picks which file of the clean sample tank the input
// replaces, then the vehicle validator checks the whole tank.
void vehicleCheck(const uint8_t* data, size_t size) {
    static const char* const files[] = {
        "vehicles/clean_tank/normal/lod0/Hull.model",      "vehicles/clean_tank/normal/lod0/Hull.visual",
        "vehicles/clean_tank/normal/lod0/Hull.primitives", "vehicles/clean_tank/normal/lod1/Turret.visual",
        "vehicles/clean_tank/collision/Hull.model",        "vehicles/maps/vehicle_ANM.dds",
    };
    checkWithReplacedFile(files, data, size, [] {
        KX::VehicleValidator validator;
        validator.check("vehicles/clean_tank");
    });
}

// A model file for the root-tag repair, which rewrites it in place; the
// visual it names is the sample's.
void tagRepair(const uint8_t* data, size_t size) {
    const std::string model = "content/fuzz/tags/normal/lod0/1tags.model";
    Workspace& workspace = Workspace::instance();
    workspace.write(model, data, size);
    KX::ModelValidator::repairTagsName(model, true);
    KX::ModelValidator::checkTagsName(model);
}

} // namespace

const std::vector<Target>& targets() {
    Workspace::instance();
    static const std::vector<Target> all = {
        {"xml_section", xmlSection},
        {"primitives", primitives},
        {"dds", dds},
        {"png", png},
        {"tga", tga},
        {"effect", effect},
        {"mesh", mesh},
        {"model_check", modelCheck},
        {"tag_repair", tagRepair},
        {"vehicle_check", vehicleCheck},
    };
    return all;
}

const Target* findTarget(const std::string& name) {
    for (const Target& target : targets()) {
        if (name == target.name) {
            return &target;
        }
    }
    return nullptr;
}

} // namespace FuzzHarness
