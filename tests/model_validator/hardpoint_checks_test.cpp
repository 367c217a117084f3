#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "engine/core/debug_log.h"
#include "engine/resource/file_system.h"
#include "model_validator/hardpoint_names.h"
#include "model_validator/model_validator.h"
#include "support/resource_tree.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;

namespace {

// A visual node with an identity rotation; `translation` is the text of row3.
std::string nodeXml(const std::string& name, const std::string& translation,
                    const std::string& children = "") {
    return "<node><identifier>" + name +
           "</identifier><transform><row0>1 0 0</row0><row1>0 1 0</row1><row2>0 0 1</row2><row3>" +
           translation + "</row3></transform>" + children + "</node>";
}

std::string visualXml(const std::string& nodes) {
    return "<root.visual>" + nodeXml("Scene Root", "0 0 0", nodes) + "</root.visual>";
}

// One LOD: a model file naming its visual (and its parent), and the visual.
void writeLod(TempResourceTree& tree, const std::string& modelPath, const std::string& parent,
              const std::string& nodes) {
    const std::string base = FS::Utils::removeExtension(modelPath);
    tree.write(modelPath, "<root.model><nodelessVisual>" + base + "</nodelessVisual>" +
                              (parent.empty() ? "" : "<parent>" + parent + "</parent>") + "</root.model>");
    tree.write(base + ".visual", visualXml(nodes));
}

std::vector<std::string> sorted(std::vector<std::string> messages) {
    std::sort(messages.begin(), messages.end());
    return messages;
}

std::vector<std::string> findingsOfTitle(const std::vector<ValidationError>& errors, ValidationTitle title) {
    std::vector<std::string> messages;
    for (const ValidationError& error : errors) {
        if (error.title == title) {
            messages.push_back(error.message);
        }
    }
    return messages;
}

} // namespace

TEST(HardpointChecks, NameFiltersMatchWholeNames) {
    for (const char* name : {"Scene Root", "", "HP_turret"}) {
        EXPECT_FALSE(TestVehicleValidator::isBone(name)) << name;
    }
    for (const char* name : {"Bone01", "scene root", "xHP_"}) {
        EXPECT_TRUE(TestVehicleValidator::isBone(name)) << name;
    }
    EXPECT_TRUE(TestVehicleValidator::isHardPoint("HP_"));
    EXPECT_TRUE(TestVehicleValidator::isHardPoint("HP_gun"));
    EXPECT_FALSE(TestVehicleValidator::isHardPoint("hp_x"));
    EXPECT_FALSE(TestVehicleValidator::isHardPoint("xHP_"));
}

TEST(HardpointChecks, ModuleNamesAreWhatTheirPatternsAccept) {
    const std::regex module("^HP_module_?(0|[0-9]|1[0-3]|13)(_(0|[0-9]|1[0-3]|13))?$");
    const std::regex legacy("^HP_module_(0|[0-9]|[1-9][0-9])(_(0|[0-9]|[1-9][0-9]))?$");
    EXPECT_TRUE(KX::HardpointNames::isModuleName("HP_module13_2"));
    EXPECT_FALSE(KX::HardpointNames::isModuleName("HP_module_14"));
    EXPECT_TRUE(KX::HardpointNames::isLegacyModuleName("HP_module_42_7"));
    EXPECT_FALSE(KX::HardpointNames::isLegacyModuleName("HP_module42"));
    // Every tail of up to five characters from the characters that matter (and
    // those next to the digits).
    const std::string alphabet = "_01349/:\n";
    std::vector<std::string> tails{""};
    for (size_t begin = 0, length = 0; length < 5; ++length) {
        const size_t end = tails.size();
        for (size_t i = begin; i < end; ++i) {
            for (char c : alphabet) {
                tails.push_back(tails[i] + c);
            }
        }
        begin = end;
    }
    for (const std::string& tail : tails) {
        for (const std::string& name : {"HP_module" + tail, "HP_modul" + tail, "xHP_module" + tail}) {
            EXPECT_EQ(KX::HardpointNames::isModuleName(name), std::regex_search(name, module)) << name;
            EXPECT_EQ(KX::HardpointNames::isLegacyModuleName(name), std::regex_search(name, legacy)) << name;
        }
    }
}

TEST(HardpointChecks, NodeTransformsKeepFirstOfEqualNames) {
    TempResourceTree tree;
    tree.write("x/a.visual", visualXml(nodeXml("HP_x", "1 0 0", nodeXml("HP_x", "2 0 0")) +
                                       "<node><identifier>HP_untransformed</identifier></node>" +
                                       nodeXml("Bone01", "0 5 0")));
    DataSectionPtr visual = FS::Utils::openSection("x/a.visual");
    ASSERT_TRUE(visual);

    TestVehicleValidator validator;
    NodeTransforms hardpoints;
    validator.getTransformsForVisualNodes(visual->openSection("node"), hardpoints,
                                          &TestVehicleValidator::isHardPoint);
    ASSERT_EQ(hardpoints.size(), 1u);
    EXPECT_EQ(hardpoints.at("HP_x").row3(3), Vector3(1, 0, 0));

    NodeTransforms bones;
    validator.getTransformsForVisualNodes(visual->openSection("node"), bones, &TestVehicleValidator::isBone);
    ASSERT_EQ(bones.size(), 1u);
    EXPECT_EQ(bones.at("Bone01").row3(3), Vector3(0, 5, 0));
}

TEST(HardpointChecks, HostileNodeTreesEndWithoutExhaustingTheStack) {
    TempResourceTree tree;
    DebugLog::Capture log;
    // Far deeper than any exporter writes: only the first levels are walked.
    std::string nested = nodeXml("HP_top", "1 0 0");
    std::string deep;
    for (int i = 0; i < 50000; ++i) {
        deep += "<node>";
    }
    for (int i = 0; i < 50000; ++i) {
        deep += "</node>";
    }
    // A name longer than any pattern matcher's recursion can take.
    const std::string longName = "HP_" + std::string(50000, 'x');
    tree.write("x/deep.visual", visualXml(nested + deep + nodeXml(longName, "0 2 0")));
    DataSectionPtr visual = FS::Utils::openSection("x/deep.visual");
    ASSERT_TRUE(visual);

    TestVehicleValidator validator;
    NodeTransforms hardpoints;
    validator.getTransformsForVisualNodes(visual->openSection("node"), hardpoints,
                                          &TestVehicleValidator::isHardPoint);
    EXPECT_EQ(hardpoints.size(), 2u);
    EXPECT_EQ(hardpoints.at("HP_top").row3(3), Vector3(1, 0, 0));
    EXPECT_EQ(hardpoints.count(longName), 1u);
    EXPECT_EQ(log.count("nodes nested deeper than 256 levels are ignored"), 1u);
    EXPECT_FALSE(TestVehicleValidator::isBone(longName));
    EXPECT_FALSE(TestVehicleValidator::isHardPoint("HP_line\nbreak"));
}

TEST(HardpointChecks, LodsMustRepeatTheNodesOfLod0) {
    TempResourceTree tree;
    DebugLog::Capture quiet;
    const std::string lod0 = "vehicles/tank/normal/lod0/Hull.model";
    const std::string lod1 = "vehicles/tank/normal/lod1/Hull.model";
    const std::string lod2 = "vehicles/tank/normal/lod2/Hull.model";
    writeLod(tree, lod0, "vehicles/tank/normal/lod1/Hull",
             nodeXml("HP_gun", "0 0 0") + nodeXml("HP_turret", "1 2 3") + nodeXml("Bone01", "0 1 0"));
    // Within the tolerance of 0.0004, plus a hardpoint lod0 lacks.
    writeLod(tree, lod1, "vehicles/tank/normal/lod2/Hull",
             nodeXml("HP_gun", "0 0.0003 0") + nodeXml("HP_turret", "1 2 3") + nodeXml("HP_light", "0 0 0") +
                 nodeXml("Bone01", "0 1.001 0"));
    writeLod(tree, lod2, "", nodeXml("HP_turret", "1 2.001 3"));

    TestVehicleValidator validator;
    validator.modelPath("vehicles/tank");
    validator.style = "winter";
    validator.checkHardpointsAndBones(lod0, &TestVehicleValidator::isHardPoint, 77);
    EXPECT_EQ(sorted(messagesOf(validator.getErrors())),
              sorted({
                  "[Err. 77] Model '" + lod1 + "' has node 'HP_light', that doesn't exist in '" + lod0 + "'",
                  "[Err. 77] Model '" + lod2 + "' doesn't have node 'HP_gun', that has model '" + lod0 + "'",
                  "[Wrn. 77] Model '" + lod2 +
                      "' has different transform value for node 'HP_turret' from model '" + lod0 + "'",
              }));
    for (const ValidationError& error : validator.getErrors()) {
        EXPECT_EQ(error.title, ValidationTitle::CheckHardpointsAndBones);
        EXPECT_EQ(error.category, "winter/Check hardpoints and bones");
    }
}

TEST(HardpointChecks, ChainWithoutLod0TransformsIsReportedOnce) {
    TempResourceTree tree;
    DebugLog::Capture log;
    // The lod0 model names a visual that does not exist, so only lod1 has transforms.
    tree.write("vehicles/tank/normal/lod0/Gun.model",
               "<root.model><nodelessVisual>vehicles/tank/normal/lod0/Missing</nodelessVisual>"
               "<parent>vehicles/tank/normal/lod1/Gun</parent></root.model>");
    writeLod(tree, "vehicles/tank/normal/lod1/Gun.model", "", nodeXml("HP_gun", "0 0 0"));

    TestVehicleValidator validator;
    validator.modelPath("vehicles/tank");
    validator.checkHardpointsAndBones("vehicles/tank/normal/lod0/Gun.model",
                                      &TestVehicleValidator::isHardPoint, 5);
    ASSERT_EQ(validator.getErrors().size(), 1u);
    EXPECT_EQ(validator.getErrors()[0].message,
              "[Err. 5] Can not validate model transforms - no transforms for lod0: ");
    EXPECT_EQ(validator.getErrors()[0].severity, ValidationErrorSeverity::High);
    EXPECT_EQ(log.count("vehicles/tank/normal/lod0/Gun.model: can't find .visual file for this model"), 1u);
}

TEST(HardpointChecks, ContentHardpointsFollowTheModuleScheme) {
    TempResourceTree tree;
    DebugLog::Capture quiet;
    const std::string lod0 = "content/buildings/house01/normal/lod0/house.model";
    const std::string lod1 = "content/buildings/house01/normal/lod1/house.model";
    std::string nodes;
    for (const char* name : {"HP_module5", "HP_module13_2", "HP_module_5", "HP_module_3_12", "HP_module14",
                             "HP_module_20", "HP_gun", "HP_module_05", "Bone01"}) {
        nodes += nodeXml(name, "0 0 0");
    }
    writeLod(tree, lod0, "content/buildings/house01/normal/lod1/house", nodes);
    writeLod(tree, lod1, "", nodeXml("HP_module5", "0 0 0") + nodeXml("HP_gun", "0 0 0"));

    auto h1 = [](const std::string& file, const std::string& name) {
        return "[Err. 107] File '" + file + "' has hardpoint '" + name +
               "', but it has to be 'HP_module_xx', 'HP_modulexx_xx', 'HP_module_xx_xx' or 'HP_modulexx', "
               "where xx is a number from 0 to 13";
    };
    auto h2 = [](const std::string& file, const std::string& name) {
        return "[Inf. 109] File '" + file + "' has hardpoint with legacy name '" + name;
    };

    KX::ModelValidator validator;
    validator.check(lod0);
    // Each hardpoint is reported once per LOD file that carries it.
    EXPECT_EQ(sorted(findingsOfTitle(validator.getErrors(), ValidationTitle::CheckHardpointsAndBones)),
              sorted({
                  h2(lod0, "HP_module_5"),
                  h2(lod0, "HP_module_3_12"),
                  h1(lod0, "HP_module14"),
                  h1(lod0, "HP_module_20"),
                  h2(lod0, "HP_module_20"),
                  h1(lod0, "HP_gun"),
                  h1(lod0, "HP_module_05"),
                  h1(lod1, "HP_gun"),
              }));
}

TEST(HardpointChecks, CopiesOfAModelReportInChainOrderThenNodeName) {
    TempResourceTree tree;
    DebugLog::Capture quiet;
    // Copies differ only in their folder, which changes the hash of every LOD path.
    const auto writeCopy = [&](const std::string& folder) {
        const std::string lod = "content/buildings/" + folder + "/normal/lod";
        writeLod(tree, lod + "0/house.model", "content/buildings/" + folder + "/normal/lod1/house",
                 nodeXml("HP_module_7", "0 0 0") + nodeXml("HP_gun", "0 0 0") + nodeXml("HP_a", "1 0 0"));
        writeLod(tree, lod + "1/house.model", "content/buildings/" + folder + "/normal/lod2/house",
                 nodeXml("HP_zz", "0 0 0") + nodeXml("HP_gun", "0 0 0") + nodeXml("HP_b", "0 0 0"));
        writeLod(tree, lod + "2/house.model", "", nodeXml("HP_c", "0 0 0") + nodeXml("HP_a", "0 5 0"));
        return lod;
    };
    std::vector<std::string> reference;
    for (int copy = 0; copy < 8; ++copy) {
        const std::string folder = "house" + std::to_string(copy);
        const std::string lod = writeCopy(folder);
        KX::ModelValidator validator;
        std::vector<std::string> messages = messagesOf(validator.check(lod + "0/house.model"));
        // The node comparison that vehicle validators run over the same chain.
        TestVehicleValidator vehicle;
        vehicle.modelPath("content/buildings/" + folder);
        vehicle.checkHardpointsAndBones(lod + "0/house.model", &TestVehicleValidator::isHardPoint, 5);
        for (const std::string& message : messagesOf(vehicle.getErrors())) {
            messages.push_back(message);
        }
        for (std::string& message : messages) {
            for (size_t at; (at = message.find(folder + "/")) != std::string::npos;) {
                message.replace(at, folder.size(), "HOUSE");
            }
        }
        if (copy == 0) {
            reference = messages;
        }
        EXPECT_EQ(messages, reference) << folder;
    }
    // Within one step: lod0 before lod1 before lod2, names in order within a file.
    const auto position = [&](const std::string& text) {
        const auto found = std::find_if(reference.begin(), reference.end(), [&](const std::string& message) {
            return message.find(text) != std::string::npos;
        });
        EXPECT_NE(found, reference.end()) << text;
        return found - reference.begin();
    };
    const std::string lod = "content/buildings/HOUSE/normal/lod";
    EXPECT_LT(position("'" + lod + "0/house.model' has hardpoint 'HP_a'"),
              position("'" + lod + "0/house.model' has hardpoint 'HP_gun'"));
    EXPECT_LT(position("'" + lod + "0/house.model' has hardpoint 'HP_gun'"),
              position("'" + lod + "1/house.model' has hardpoint 'HP_b'"));
    EXPECT_LT(position("'" + lod + "1/house.model' has hardpoint 'HP_zz'"),
              position("'" + lod + "2/house.model' has hardpoint 'HP_a'"));
    EXPECT_LT(position("Model '" + lod + "1/house.model' doesn't have node 'HP_a'"),
              position("Model '" + lod + "1/house.model' doesn't have node 'HP_module_7'"));
    EXPECT_LT(position("Model '" + lod + "1/house.model' has node 'HP_b'"),
              position("Model '" + lod + "2/house.model' doesn't have node 'HP_gun'"));
}
