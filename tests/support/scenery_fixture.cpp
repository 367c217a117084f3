#include "support/scenery_fixture.h"

#include <utility>

#include "engine/resource/file_system.h"

AssetWriters::MaterialLayout sceneryMaterial(const std::string& identifier, unsigned materialKind,
                                             unsigned collisionFlags) {
    return {identifier,
            kStandardShader,
            materialKind,
            collisionFlags,
            {AssetWriters::PropertyLayout::boolean("alphaTestEnable", false)}};
}

AssetWriters::Mesh sceneryBox(const Vector3& min, const Vector3& max) {
    AssetWriters::Mesh mesh = AssetWriters::makeBox(min, max);
    AssetWriters::addTangentFrames(mesh);
    return mesh;
}

SceneryModel::SceneryModel(std::string category, std::string name, size_t lodCount)
    : category_(std::move(category)), name_(std::move(name)), lods_(lodCount) {}

SceneryModel& SceneryModel::under(std::string topFolder) {
    top_ = std::move(topFolder);
    return *this;
}

std::string SceneryModel::root() const {
    return top_ + "/" + category_ + "/" + name_;
}

std::string SceneryModel::path(size_t lod) const {
    return base(lod) + ".model";
}

std::string SceneryModel::base(size_t lod) const {
    return root() + "/normal/lod" + std::to_string(lod) + "/" + name_;
}

SceneryLod& SceneryModel::lod(size_t index) {
    if (index >= lods_.size()) {
        lods_.resize(index + 1);
    }
    return lods_[index];
}

SceneryModel& SceneryModel::mesh(const AssetWriters::Mesh& mesh) {
    for (SceneryLod& lod : lods_) {
        lod.mesh = mesh;
    }
    return *this;
}

SceneryModel& SceneryModel::materials(const std::vector<AssetWriters::MaterialLayout>& materials) {
    for (SceneryLod& lod : lods_) {
        lod.materials = materials;
    }
    return *this;
}

SceneryModel& SceneryModel::collisionFromMesh() {
    for (SceneryLod& lod : lods_) {
        lod.collisionFromMesh = true;
    }
    return *this;
}

const SceneryModel& SceneryModel::write(TempResourceTree& tree) const {
    for (size_t i = 0; i < lods_.size(); ++i) {
        const SceneryLod& lod = lods_[i];
        AssetWriters::SimpleModelLayout layout;
        layout.mesh = lod.mesh;
        layout.materials = lod.materials;
        std::string error;
        // Split here rather than in the writer, so that an explicit tree is
        // written beside the very groups the visual names.
        if (AssetWriters::effectiveGroups(layout.mesh.indices).size() != layout.materials.size() &&
            !AssetWriters::splitGroups(layout.mesh, layout.materials.size(), &error)) {
            ADD_FAILURE() << path(i) << ": " << error;
            continue;
        }
        const bool explicitTree = !lod.collisionFromMesh && !lod.bsp.empty();
        layout.collision = lod.collisionFromMesh;
        layout.nodes = lod.nodes;
        layout.parent = lod.parent.value_or(i + 1 < lods_.size() ? path(i + 1) : std::string());
        layout.extent = lod.extent.value_or(100.f * static_cast<float>(i + 1));
        layout.visibilityBox = lod.visibilityBox;
        layout.boundingBox = lod.boundingBox;
        layout.decorative = lod.decorative;
        if (!AssetWriters::writeSimpleModel(tree.root(), path(i), layout, &error)) {
            ADD_FAILURE() << path(i) << ": " << error;
            continue;
        }
        if (explicitTree && !AssetWriters::PrimitivesWriter()
                                 .mesh(layout.mesh)
                                 .bsp(lod.bsp, AssetWriters::materialIdentifiers(layout.materials))
                                 .write(tree.path(base(i) + ".primitives"), &error)) {
            ADD_FAILURE() << path(i) << ": " << error;
        }
    }
    tree.refresh();
    return *this;
}

void writeTexture(TempResourceTree& tree, const std::string& resourcePath, const SceneryTexture& texture) {
    const std::vector<uint8_t> pixels =
        AssetWriters::makeSolidImage(texture.width, texture.height, texture.colour);
    const std::string disk = tree.path(resourcePath);
    const AssetWriters::WriteResult result =
        FS::Utils::getExtension(resourcePath) == "png"
            ? AssetWriters::writePNG(disk, texture.width, texture.height, pixels, texture.channels)
            : AssetWriters::writeDDS(disk, texture.width, texture.height, texture.format, pixels,
                                     texture.mipCount);
    if (!result) {
        ADD_FAILURE() << resourcePath << ": " << result.reason;
    }
    tree.refresh();
}

void writeEmptyRegistries(TempResourceTree& tree) {
    const std::string groups = "\t<fallingAtoms/>\n\t<fragiles/>\n\t<structures/>\n";
    tree.write("scripts/destructibles.xml", "<destructibles.xml>\n" + groups + "</destructibles.xml>\n");
    tree.write("scripts/destructibles_effects.xml",
               "<destructibles_effects.xml>\n" + groups + "</destructibles_effects.xml>\n");
    tree.write("scripts/environment_effects.xml",
               "<environment_effects.xml>\n\t<mapActivities/>\n</environment_effects.xml>\n");
}

SceneryFixture::SceneryFixture() {
    writeEmptyRegistries(tree);
}

std::vector<KX::ValidatorHelper::ValidationError> SceneryFixture::check(const std::string& modelPath) {
    return validator.check(modelPath);
}

std::vector<KX::ValidatorHelper::ValidationError> SceneryFixture::check(const std::string& modelPath,
                                                                        std::initializer_list<int> codes) {
    return withCodes(validator.check(modelPath), codes);
}

std::vector<KX::ValidatorHelper::ValidationError> SceneryFixture::check(const SceneryModel& model,
                                                                        std::initializer_list<int> codes) {
    return check(model.path(0), codes);
}
