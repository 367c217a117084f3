#include <gtest/gtest.h>

#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;

namespace {

// A module of a registry entry: its hardpoint, material and effects
// ("<decayEffect>x</decayEffect>..." as written).
std::string moduleXml(const std::string& hardpoint, const std::string& matName,
                      const std::string& effects = "") {
    return "<module><effectHP>" + hardpoint + "</effectHP><matName>" + matName + "</matName>" + effects +
           "</module>";
}

std::string entryXml(const std::string& filename, const std::string& modules) {
    return "<entry><filename>" + filename + "</filename><modules>" + modules + "</modules></entry>";
}

std::string effect(const std::string& key, const std::string& name) {
    return "<" + key + ">" + name + "</" + key + ">";
}

AssetWriters::NodeLayout withHardpoints(std::initializer_list<const char*> names) {
    AssetWriters::NodeLayout root{"Scene Root", Matrix::identity(), {}};
    for (const char* name : names) {
        root.children.push_back(AssetWriters::NodeLayout{name, Matrix::identity(), {}});
    }
    return root;
}

class DestructibleChecksTest : public SceneryFixture {
  protected:
    void writeRegistry(const std::string& fallingAtoms, const std::string& fragiles = "",
                       const std::string& structures = "") {
        tree.write("scripts/destructibles.xml", "<destructibles.xml><fallingAtoms>" + fallingAtoms +
                                                    "</fallingAtoms><fragiles>" + fragiles +
                                                    "</fragiles><structures>" + structures +
                                                    "</structures></destructibles.xml>");
    }
    void writeEffects(const std::string& fragiles) {
        tree.write("scripts/destructibles_effects.xml",
                   "<destructibles_effects.xml><fallingAtoms/><fragiles>" + fragiles +
                       "</fragiles><structures/></destructibles_effects.xml>");
    }
    // A two-LOD crate with module hardpoints and undamaged wood materials.
    SceneryModel crate(std::vector<AssetWriters::MaterialLayout> materials = {
                           sceneryMaterial("n_wood_01", 73), sceneryMaterial("n_wood_02", 73)}) {
        SceneryModel model("props", "crate", 2);
        model.materials(materials);
        for (size_t lod = 0; lod < 2; ++lod) {
            model.lod(lod).nodes = {withHardpoints({"HP_module_1", "HP_module_2"})};
        }
        model.write(tree);
        return model;
    }
    std::string cleanModules() const {
        return moduleXml("HP_module_1", "wood_01") + moduleXml("HP_module_2", "wood_02");
    }
    // The destructible findings (201 to 209) of a fresh check.
    std::vector<std::string> destructibleFindings(const std::string& path) {
        return messagesOf(check(path, {201, 202, 203, 204, 206, 207, 208, 209}));
    }
};

const std::string kRegistry = "'scripts/destructibles.xml'";

} // namespace

TEST_F(DestructibleChecksTest, TiesEachLodFileToItsEntryAndReadsTheRegistryAfresh) {
    const SceneryModel model = crate();
    EXPECT_EQ(destructibleFindings(model.path(0)),
              std::vector<std::string>{"[Err. 201] Model '" + model.path(0) +
                                       "' has HP_module, but has not entry in "
                                       "the " +
                                       kRegistry})
        << "only lod0 needs an entry";

    // Each registered LOD is checked against its own entry; a file name in
    // another letter case is no entry.
    writeRegistry("", entryXml(model.path(0), cleanModules()),
                  entryXml(model.path(1), cleanModules()) +
                      entryXml("content/props/crate/normal/lod0/Crate.model", ""));
    EXPECT_EQ(destructibleFindings(model.path(0)), std::vector<std::string>{});
    writeRegistry("", entryXml(model.path(0), cleanModules()),
                  entryXml(model.path(1), moduleXml("HP_module_1", "wood_01")));
    EXPECT_EQ(destructibleFindings(model.path(0)),
              std::vector<std::string>({"[Err. 203] Model '" + model.path(1) +
                                            "' has hardpoint 'HP_module_2' which is not described in the " +
                                            kRegistry,
                                        "[Wrn. 207] Model '" + model.path(1) +
                                            "' has material 'n_wood_02' without entry in the " + kRegistry}));

    // A mention among the map activities stands in for an entry.
    writeRegistry("");
    tree.write("scripts/environment_effects.xml",
               "<environment_effects.xml><mapActivities><a><model>" + model.path(0) +
                   "</model></a></mapActivities></environment_effects.xml>");
    EXPECT_EQ(destructibleFindings(model.path(0)), std::vector<std::string>{});
    tree.remove("scripts/environment_effects.xml");
    EXPECT_EQ(destructibleFindings(model.path(0)).size(), 1u);

    tree.remove("scripts/destructibles.xml");
    EXPECT_EQ(findingsOf(check(model.path(0), {201})),
              std::vector<Finding>({{"[Err. 201] Can not open " + kRegistry, ValidationTitle::Common,
                                     ValidationErrorSeverity::High, "Common"}}));
}

TEST_F(DestructibleChecksTest, ReportsAModelRegisteredMoreThanOnce) {
    const SceneryModel model = crate({sceneryMaterial("n_wood_01", 73, 5)});
    const std::string duplicate =
        "[Err. 202] Model '" + model.path(0) + "' has duplicate entries in the " + kRegistry;
    // Across groups the first group's entry is the one checked: a falling
    // object, whose collision flags must be 131.
    writeRegistry(
        entryXml(model.path(0), moduleXml("HP_module_1", "wood_01") + moduleXml("HP_module_2", "x_02")), "",
        entryXml(model.path(0), ""));
    EXPECT_EQ(destructibleFindings(model.path(0)),
              std::vector<std::string>({"[Err. 208] Model '" + model.path(0) +
                                            "' is in fallingAtoms section of destructibles.xml but has "
                                            "incorrect collisionFlags 5 (must be "
                                            "131) '",
                                        duplicate}));
    writeRegistry("", entryXml(model.path(0), cleanModules()) + entryXml(model.path(0), cleanModules()));
    EXPECT_EQ(destructibleFindings(model.path(0)), std::vector<std::string>{duplicate});
    writeRegistry("", entryXml(model.path(0), cleanModules()), entryXml(model.path(1), cleanModules()));
    EXPECT_EQ(destructibleFindings(model.path(0)), std::vector<std::string>{});
}

TEST_F(DestructibleChecksTest, LooksUpEveryEffectOnceInTheEffectsRegistry) {
    const SceneryModel model = crate();
    // Both modules name "dust"; one rams with "crash", the other with "none".
    const std::string effects =
        effect("decayEffect", "dust") + effect("ramEffect", "none") + effect("hitEffect", "splinters");
    writeRegistry("", entryXml(model.path(0),
                               moduleXml("HP_module_1", "wood_01", effects) +
                                   moduleXml("HP_module_2", "wood_02",
                                             effect("decayEffect", "dust") + effect("ramEffect", "crash"))));
    writeEffects("<dust/>");
    const auto undescribed = [&](const std::string& key, const std::string& name) {
        return "[Wrn. 204] Model '" + model.path(0) + "' has effect <" + key + "> '" + name + "' in the " +
               kRegistry + " which is not described in the 'scripts/destructibles_effects.xml'";
    };
    EXPECT_EQ(
        destructibleFindings(model.path(0)),
        std::vector<std::string>({undescribed("ramEffect", "crash"), undescribed("hitEffect", "splinters")}));
    writeEffects("<dust/><splinters/><crash/>");
    EXPECT_EQ(destructibleFindings(model.path(0)), std::vector<std::string>{});

    // Without the effects registry, no effect is described.
    tree.remove("scripts/destructibles_effects.xml");
    EXPECT_EQ(destructibleFindings(model.path(0)),
              std::vector<std::string>({undescribed("decayEffect", "dust"), undescribed("ramEffect", "crash"),
                                        undescribed("hitEffect", "splinters")}));
    EXPECT_EQ(log.count("Can not open 'scripts/destructibles_effects.xml': no effect of '" + model.path(0) +
                        "' is described"),
              1u);

    // An entry without modules is its own module.
    writeRegistry("", entryXml(model.path(0), "").replace(0, 7, "<entry><effectHP>HP_module_1</effectHP>"));
    EXPECT_EQ(destructibleFindings(model.path(0)).front(),
              "[Err. 203] Model '" + model.path(0) +
                  "' has hardpoint 'HP_module_2' which is not described in the " + kRegistry);
}

TEST_F(DestructibleChecksTest, MatchesUndamagedMaterialsWithModules) {
    // Twins: one material exported twice (word followed by a digit), whose
    // kinds must agree; "_01" names are distinct materials.
    SceneryModel model = crate({sceneryMaterial("n_brick01", 74), sceneryMaterial("n_brick02", 75),
                                sceneryMaterial("n_wood_01", 73), sceneryMaterial("n_wood_02", 80),
                                sceneryMaterial("n_wood_03", 73), sceneryMaterial("d_wood_01", 20)});
    writeRegistry("", entryXml(model.path(0), moduleXml("HP_module_1", "brick") +
                                                  moduleXml("HP_module_2", "wood_01") +
                                                  moduleXml("", "wood_02") + moduleXml("", "n_wood_01")));
    EXPECT_EQ(
        destructibleFindings(model.path(0)),
        std::vector<std::string>(
            {"[Wrn. 206] Model '" + model.path(0) +
                 "' have equals materials with different material kinds: 'n_brick01' with 74 and 'n_brick02' "
                 "with 75",
             "[Wrn. 207] Model '" + model.path(0) +
                 "' has material 'n_wood_01' with duplicate entries in the " + kRegistry,
             "[Wrn. 207] Model '" + model.path(0) + "' has material 'n_wood_03' without entry in the " +
                 kRegistry}));

    // No visual: nothing to compare. The missing file is reported once, by
    // the earlier vertex-format step, whose text the destructible finding
    // would repeat.
    tree.remove(model.base(0) + ".visual");
    const auto errors = check(model.path(0));
    EXPECT_EQ(withCodes(errors, {206, 207}).size(), 0u);
    EXPECT_EQ(messagesOf(withCodes(errors, {101})).front(),
              "[Wrn. 101] " + model.path(0) + ": can't find .visual file for this model");
}

TEST_F(DestructibleChecksTest, ChecksFallingObjectsAndUndamagedMaterials) {
    AssetWriters::MaterialLayout noFlags = sceneryMaterial("n_wood_01", 73);
    noFlags.collisionFlags.reset();
    AssetWriters::MaterialLayout damaged = sceneryMaterial("d_wood_01", 20, 7);
    SceneryModel model("props", "barrel", 1);
    model.materials({noFlags, damaged}).write(tree);
    // No hardpoints: only the flags, the undamaged-material rule and duplicates.
    writeRegistry(entryXml(model.path(0), ""));
    EXPECT_EQ(destructibleFindings(model.path(0)), std::vector<std::string>{})
        << "a missing collisionFlags reads as 131; damaged materials are not examined";

    model.materials({sceneryMaterial("d_wood_01", 20), sceneryMaterial("d_stone_01", 87)}).write(tree);
    tree.refresh();
    const std::string none =
        "[Err. 209] Model '" + model.path(0) +
        "' has a record in destructibles.xml but has no undamaged materials in .visual file";
    EXPECT_EQ(destructibleFindings(model.path(0)), std::vector<std::string>{none});
    model.materials({sceneryMaterial("d_wood_01", 86, 9)}).write(tree);
    tree.refresh();
    writeRegistry("", entryXml(model.path(0), ""));
    EXPECT_EQ(destructibleFindings(model.path(0)), std::vector<std::string>{})
        << "kind 86 is undamaged, and fragile objects' flags are free";
    model.materials({sceneryMaterial("d_wood_01", 72)}).write(tree);
    tree.refresh();
    EXPECT_EQ(destructibleFindings(model.path(0)), std::vector<std::string>{none});
}
