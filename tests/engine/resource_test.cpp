#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <thread>
#include <unordered_set>
#include <vector>

#include "engine/component/component_registry.h"
#include "engine/core/ascii_case.h"
#include "engine/core/debug_log.h"
#include "engine/core/format.h"
#include "engine/core/light_mutex.h"
#include "engine/core/stack_tracker.h"
#include "engine/core/string_conv.h"
#include "engine/core/string_hash.h"
#include "engine/l10n/string_provider.h"
#include "engine/platform/folder_listing.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/data_section.h"
#include "engine/resource/data_section_cache.h"
#include "engine/resource/file_system.h"
#include "engine/resource/view_memo.h"
#include "engine/settings/options.h"
#include "support/resource_tree.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace FS;

TEST(PathUtilities, SplitAndJoinResourcePaths) {
    EXPECT_EQ(Utils::getFilename("a/b/c.model"), "c.model");
    EXPECT_EQ(Utils::getFilename("a/b/"), "");
    EXPECT_EQ(Utils::getDirectory("a/b/c.model"), "a/b/");
    EXPECT_EQ(Utils::getDirectory("c.model"), "");
    EXPECT_EQ(Utils::removeExtension("a.b/c.model"), "a.b/c");
    EXPECT_EQ(Utils::removeExtension("a.b/c"), "a.b/c");
    EXPECT_EQ(Utils::getExtension("a/Rock__stone.hkt.model"), "model");
    EXPECT_EQ(Utils::getExtension("a.b/c"), "");
    EXPECT_EQ(Utils::getExtension("a/c."), "");
    EXPECT_EQ(Utils::removeExtension("a/c."), "a/c");
    EXPECT_EQ(Utils::getExtension("a/.dds"), "dds");
    EXPECT_EQ(Utils::getExtension("c.tar.gz"), "gz");
    EXPECT_EQ(Utils::removeExtension("c.tar.gz"), "c.tar");
    EXPECT_EQ(Utils::changeExtension("x/rock.primitives", ".EU.primitives"), "x/rock.EU.primitives");
    EXPECT_EQ(Utils::joinPath("a/b", "c.model"), "a/b/c.model");
    EXPECT_EQ(Utils::joinPath("a/b/", "c.model"), "a/b/c.model");
    EXPECT_EQ(Utils::joinPath("", "c"), "/c");
    std::vector<std::string> components;
    EXPECT_TRUE(splitResourcePath("a\\b//./c/../d/", components));
    EXPECT_EQ(components, (std::vector<std::string>{"a", "b", "d"}));
    EXPECT_FALSE(splitResourcePath("a/../../b", components));
    EXPECT_TRUE(splitResourcePath("/a/b.c/./d", components));
    EXPECT_EQ(components, (std::vector<std::string>{"a", "b.c", "d"}));
    EXPECT_TRUE(splitResourcePath("a\\b\\c", components));
    EXPECT_EQ(components, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(splitResourcePath("", components));
    EXPECT_TRUE(components.empty());
    for (const char* absolute : {"/x", "\\x", "D:/x", "d:\\x", "a:/x", "Z:/x", "z:\\x"}) {
        EXPECT_TRUE(Utils::isAbsolute(absolute)) << absolute;
        EXPECT_FALSE(Utils::isRelative(absolute)) << absolute;
    }
    // Only ASCII letters name drives: not the bytes next to them, nor UTF-8.
    for (const char* relative : {"x/y", "D:x", "1:/x", "@:/x", "[:/x", "`:/x", "{:/x", "\xc3:/x"}) {
        EXPECT_TRUE(Utils::isRelative(relative)) << relative;
    }
}

TEST(FileSystem, ResolvesThroughOrderedRootsAndNeverClimbsOut) {
    TempResourceTree first;
    TempResourceTree second;
    first.write("shared/a.txt", "first");
    second.write("shared/a.txt", "second");
    second.write("only/b.txt", "b");
    fileSystem()->setRoots({first.root(), second.root()});

    EXPECT_EQ(fileSystem()->resolveFilename("shared/a.txt"), first.path("shared/a.txt"));
    EXPECT_EQ(fileSystem()->resolveFilename("only/b.txt"), second.path("only/b.txt"));
    EXPECT_EQ(fileSystem()->dissolveFilename(second.path("only/b.txt")), "only/b.txt");
    EXPECT_EQ(fileSystem()->fileType("only/b.txt"), FT_FILE);
    EXPECT_EQ(fileSystem()->fileType("only"), FT_DIRECTORY);
    EXPECT_EQ(fileSystem()->fileType(second.root()), FT_DIRECTORY);
    EXPECT_EQ(fileSystem()->fileType("only/missing.txt"), FT_NOT_FOUND);
    EXPECT_EQ(fileSystem()->resolveFilename("../outside.txt"), "");
    EXPECT_EQ(fileSystem()->resolveFilename("shared/../../outside.txt"), "");
    EXPECT_FALSE(Utils::fileExists("../" + Utils::getFilename(first.root()) + "/shared/a.txt"));
    EXPECT_TRUE(Utils::fileExists("shared/x/../a.txt"));
}

TEST(FileSystem, NothingOutsideTheRootsIsReachedByPathOrLink) {
    TempResourceTree tree;
    DebugLog::Capture log;
    // A readable file and folder right next to the root.
    const std::string outside = tree.root() + "_outside";
    std::filesystem::create_directories(outside + "/lods");
    std::ofstream(outside + "/secret.model") << "<root><parent>x</parent></root>";
    std::ofstream(outside + "/lods/secret.model") << "<root/>";
    tree.write("content/inside.model", "<root/>");
    const std::error_code linked =
        makeLinks({{outside + "/secret.model", tree.path("content/out.model")},
                   {outside + "/lods", tree.path("content/lods"), true},
                   {tree.path("content/inside.model"), tree.path("content/alias.model")}});
    tree.refresh();
    if (linked) {
        std::filesystem::remove_all(outside);
        GTEST_SKIP() << "this disk cannot hold symbolic links: " << linked.message();
    }

    for (const std::string& path :
         {outside + "/secret.model", tree.root() + "/../" + FS::Utils::getFilename(outside) + "/secret.model",
          std::string("content/out.model"), std::string("content/lods/secret.model"),
          std::string("content/lods"), tree.path("content/out.model")}) {
        EXPECT_EQ(fileSystem()->fileType(path), FT_NOT_FOUND) << path;
        EXPECT_FALSE(Utils::openSection(path)) << path;
        EXPECT_EQ(fileSystem()->findExisting(path), "") << path;
    }
    EXPECT_EQ(fileSystem()->resolveFilename(outside + "/secret.model"), "");
    // Inside the roots, absolute spellings and links that stay inside still work.
    EXPECT_TRUE(Utils::openSection(tree.path("content/inside.model")));
    EXPECT_TRUE(Utils::openSection("content/alias.model"));
    EXPECT_EQ(fileSystem()->resolveFilename(tree.path("content/inside.model")),
              tree.path("content/inside.model"));
    std::filesystem::remove_all(outside);
}

TEST(FileSystem, ALinkRetargetedOutOfTheRootsBetweenChecksNoLongerResolves) {
    TempResourceTree tree;
    const std::string outside = tree.root() + "_outside";
    std::filesystem::create_directories(outside);
    std::ofstream(outside + "/rock.model") << "<root/>";
    tree.write("content/shared/rock.model", "<root/>");
    const std::error_code linked =
        makeLinks({{tree.path("content/shared"), tree.path("content/props"), true}});
    if (linked) {
        std::filesystem::remove_all(outside);
        GTEST_SKIP() << "this disk cannot hold symbolic links: " << linked.message();
    }
    tree.age();
    fileSystem()->refresh();
    EXPECT_TRUE(Utils::fileExists("content/props/rock.model"));
    EXPECT_TRUE(Utils::openSection("content/props/rock.model"));

    // The same name, the same file name behind it, but now outside every root.
    std::filesystem::remove(tree.path("content/props"));
    std::filesystem::create_directory_symlink(outside, tree.path("content/props"));
    fileSystem()->refresh();
    EXPECT_FALSE(Utils::fileExists("content/props/rock.model"));
    EXPECT_FALSE(Utils::openSection("content/props/rock.model"));
    std::filesystem::remove_all(outside);
}

TEST(FileSystem, AFolderIsOneListingHoweverItsPathIsWritten) {
    TempResourceTree tree;
    tree.write("content/props/crate.model", "<root/>");
    const std::string folder = tree.path("content/props");
    std::string backSlashed = folder;
    std::replace(backSlashed.begin(), backSlashed.end(), '/', '\\');
    const auto listed = fileSystem()->listInDiskOrder(folder);
    ASSERT_EQ(listed->entries.size(), 1u);
    // With a separator at its end or back slashes, the same folder, listed once.
    for (const std::string& written : {folder + "/", folder + "//", backSlashed, backSlashed + "\\"}) {
        EXPECT_EQ(fileSystem()->listInDiskOrder(written).get(), listed.get()) << written;
        EXPECT_EQ(fileSystem()->listDirectory(written), std::vector<std::string>{"crate.model"}) << written;
    }
}

TEST(FileSystem, AFolderIsListedAgainOnlyWhenItChanged) {
    TempResourceTree tree;
    tree.write("content/props/crate.model", "<root/>");
    tree.age();
    fileSystem()->refresh();
    EXPECT_FALSE(Utils::fileExists("content/props/barrel.model"));
    EXPECT_EQ(fileSystem()->listDirectory(tree.path("content/props")),
              std::vector<std::string>{"crate.model"});

    // Within one check the folder is taken as first seen; the next check sees it as it is.
    std::ofstream(tree.path("content/props/Barrel.model")) << "<root/>";
    EXPECT_FALSE(Utils::fileExists("content/props/barrel.model"));
    fileSystem()->refresh();
    EXPECT_TRUE(Utils::fileExists("content/props/barrel.model"));
    EXPECT_EQ(Utils::resolveAndCorrectCaseOfPath("content/props/barrel.model"),
              tree.path("content/props/Barrel.model"));
    std::filesystem::remove(tree.path("content/props/crate.model"));
    fileSystem()->refresh();
    EXPECT_FALSE(Utils::fileExists("content/props/crate.model"));

    // A file replaced by a folder of its name is a folder from the next check on.
    std::filesystem::remove(tree.path("content/props/Barrel.model"));
    std::filesystem::create_directory(tree.path("content/props/Barrel.model"));
    fileSystem()->refresh();
    EXPECT_EQ(fileSystem()->fileType("content/props/barrel.model"), FT_DIRECTORY);
}

TEST(FileSystem, AFolderListedAheadIsProvedByTheCheckThatUsesIt) {
    TempResourceTree tree;
    tree.write("content/props/crate.model", "<root/>");
    tree.write("content/house/house.model", "<root/>");
    tree.write("dots/..x", "");
    tree.write("dots/.y", "");
    tree.write("dots/a", "");
    tree.age();
    // The listing stamps the folder as it was before its entries were read.
    std::vector<Platform::FolderEntry> entries;
    std::string error;
    FileStamp stamp;
    ASSERT_TRUE(Platform::listFolder(tree.path("dots"), entries, error, &stamp));
    EXPECT_EQ(stamp, fileStamp(tree.path("dots")));
    // The folder itself and its parent are no entries; names that merely start with dots are.
    std::vector<std::string> names;
    for (const Platform::FolderEntry& entry : entries) {
        names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"..x", ".y", "a"}));
    EXPECT_FALSE(Platform::listFolder(tree.path("content/none"), entries, error, &stamp));
    EXPECT_EQ(stamp.type, FileStamp::Missing);

    ASSERT_EQ(fileSystem()->listAhead(tree.path("content/props/"))->entries.size(), 1u);
    ASSERT_EQ(fileSystem()->listAhead(tree.path("content/house"))->entries.size(), 1u);
    // Checks that do not ask for the folders come and go; the first that does
    // sees each as it is then.
    for (int check = 0; check < 3; ++check) {
        fileSystem()->refresh();
    }
    std::ofstream(tree.path("content/props/barrel.model")) << "<root/>";
    fileSystem()->refresh();
    EXPECT_EQ(fileSystem()->listDirectory(tree.path("content/props")),
              (std::vector<std::string>{"barrel.model", "crate.model"}));
    EXPECT_TRUE(Utils::fileExists("content/props/barrel.model"));
    EXPECT_EQ(fileSystem()->listDirectory(tree.path("content/house")),
              std::vector<std::string>{"house.model"});
}

TEST(FileSystem, ListingsMadeAheadGoToWhoeverChecksTheirFolders) {
    TempResourceTree tree;
    tree.write("content/m/normal/lod0/m.model", "<root/>");
    tree.write("content/m/normal/lod1/m.model", "<root/>");
    tree.write("content/n/n.model", "<root/>");
    tree.age();
    for (const char* folder :
         {"content/m", "content/m/normal", "content/m/normal/lod0", "content/m/normal/lod1", "content/n"}) {
        fileSystem()->listAhead(tree.path(folder));
    }
    // A folder and every folder below it that was listed, and nothing else.
    std::vector<FileSystem::ListedAhead> taken = fileSystem()->takeListedAhead(tree.path("content/m/"));
    std::vector<std::string> folders;
    for (const FileSystem::ListedAhead& listed : taken) {
        folders.push_back(listed.folder);
    }
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{tree.path("content/m"), tree.path("content/m/normal"),
                                                 tree.path("content/m/normal/lod0"),
                                                 tree.path("content/m/normal/lod1")}));
    EXPECT_TRUE(fileSystem()->takeListedAhead(tree.path("content/m")).empty());
    EXPECT_EQ(fileSystem()->takeListedAhead(tree.path("content/n")).size(), 1u);

    // Kept as if listed here: what the listing says is believed while the
    // folder's stamp proves it, and a folder that changed is listed again.
    for (FileSystem::ListedAhead& listed : taken) {
        if (listed.folder == tree.path("content/m/normal/lod0") ||
            listed.folder == tree.path("content/m/normal/lod1")) {
            auto told = std::make_shared<FileSystem::DiskListing>(*listed.disk);
            told->entries.push_back({"told.model", false, false, true});
            listed.disk = told;
        }
        fileSystem()->keepListedAhead(std::move(listed));
    }
    std::ofstream(tree.path("content/m/normal/lod1/new.model")) << "<root/>";
    fileSystem()->refresh();
    EXPECT_EQ(fileSystem()->listDirectory(tree.path("content/m/normal/lod0")),
              (std::vector<std::string>{"m.model", "told.model"}));
    EXPECT_EQ(fileSystem()->listDirectory(tree.path("content/m/normal/lod1")),
              (std::vector<std::string>{"m.model", "new.model"}));
}

TEST(FileSystem, APurgeWithinACheckSeesEveryChangeOfThePlacePurged) {
    TempResourceTree tree;
    tree.write("content/props/crate.model", "<root/>");
    tree.write("content/house/normal/lod0/house.model", "<root/>");
    tree.write("scripts/registry.xml", "<root/>");
    tree.age();
    fileSystem()->refresh();
    EXPECT_FALSE(Utils::fileExists("content/props/barrel.model"));
    EXPECT_TRUE(Utils::fileExists("content/house/normal/lod0/house.model"));
    EXPECT_TRUE(Utils::fileExists("content/props/crate.model"));

    // A purge of a place nothing changed in leaves every answer as it was.
    DataSectionCache::instance().purge("scripts/registry.xml");
    EXPECT_TRUE(Utils::fileExists("content/props/crate.model"));
    EXPECT_FALSE(Utils::fileExists("content/props/barrel.model"));

    // A file added next to the one purged, and one removed deep below a purged folder.
    std::ofstream(tree.path("content/props/Barrel.model")) << "<root/>";
    DataSectionCache::instance().purge("content/props/barrel.model");
    EXPECT_TRUE(Utils::fileExists("content/props/barrel.model"));
    std::filesystem::remove(tree.path("content/house/normal/lod0/house.model"));
    DataSectionCache::instance().purge("content/house", true);
    EXPECT_FALSE(Utils::fileExists("content/house/normal/lod0/house.model"));
    EXPECT_TRUE(Utils::fileExists("content/props/crate.model"));
}
TEST(DataSectionCache, KeepsOnlyTheTreesOfRecentChecks) {
    TempResourceTree tree;
    for (int i = 0; i < 50; ++i) {
        tree.write("content/m" + std::to_string(i) + ".model", "<root/>");
    }
    tree.write("scripts/registry.xml", "<root/>");
    tree.age();
    const DataSectionPtr registry = Utils::openSection("scripts/registry.xml");
    // Each check opens its own model and the registry every check reads.
    for (int i = 0; i < 50; ++i) {
        fileSystem()->refresh();
        ASSERT_TRUE(Utils::openSection("content/m" + std::to_string(i) + ".model"));
        EXPECT_EQ(Utils::openSection("scripts/registry.xml").get(), registry.get());
    }
    EXPECT_LE(DataSectionCache::instance().size(), 3u);
}

TEST(FileSystem, IgnoresLetterCaseButReportsTheDiskSpelling) {
    TempResourceTree tree;
    tree.write("Content/Props/Crate.model", "<root/>");
    EXPECT_TRUE(Utils::fileExists("content/props/crate.model"));
    EXPECT_TRUE(Utils::directoryExists("CONTENT/PROPS"));
    EXPECT_EQ(Utils::resolveAndCorrectCaseOfPath("content/props/crate.model"),
              tree.path("Content/Props/Crate.model"));

    std::string correct;
    EXPECT_TRUE(EditorUtils::isAbsolutePathValidCase("Content/Props/Crate.model", correct));
    EXPECT_TRUE(EditorUtils::isAbsolutePathValidCase("content/props/missing.model", correct));
    ASSERT_FALSE(EditorUtils::isAbsolutePathValidCase("content/props/crate.model", correct));
    EXPECT_EQ(fileSystem()->dissolveFilename(correct), "Content/Props/Crate.model");
    // Written with doubled, backward or dotted separators, the names are what count.
    for (const std::string& path :
         std::vector<std::string>{"Content//Props/./Crate.model", "Content\\Props\\Crate.model",
                                  "Content/Other/../Props/Crate.model", "Content/Props/",
                                  tree.path("Content/Props/Crate.model")}) {
        EXPECT_TRUE(EditorUtils::isAbsolutePathValidCase(path, correct)) << path;
    }
    for (const std::string path : {"content//props/./crate.model", "Content\\props\\Crate.model",
                                   "Content/Other/../props/Crate.model", "Content/Props/crate.model"}) {
        correct.clear();
        EXPECT_FALSE(EditorUtils::isAbsolutePathValidCase(path, correct)) << path;
        EXPECT_EQ(correct, tree.path("Content/Props/Crate.model")) << path;
    }

    // Folders spelled for one path serve the next, deeper or missing alike.
    tree.write("Content/Props/Small/Box.model", "<root/>");
    tree.write("Content/Rocks/Stone.model", "<root/>");
    fileSystem()->refresh();
    EXPECT_EQ(Utils::resolveAndCorrectCaseOfPath("content/props/crate.model"),
              tree.path("Content/Props/Crate.model"));
    EXPECT_EQ(Utils::resolveAndCorrectCaseOfPath("CONTENT/PROPS/SMALL/box.model"),
              tree.path("Content/Props/Small/Box.model"));
    EXPECT_FALSE(Utils::fileExists("content/props/none/box.model"));
    EXPECT_FALSE(Utils::fileExists("content/none/small/box.model"));
    EXPECT_EQ(Utils::resolveAndCorrectCaseOfPath("content/ROCKS/stone.model"),
              tree.path("Content/Rocks/Stone.model"));

    // Short folders are searched name by name, long ones by an index: both
    // answer alike, and of names that differ only in case the first in name
    // order is the spelling found.
    for (const int count : {3, 40}) {
        const std::string folder = "Content/Many" + std::to_string(count) + "/";
        for (int i = 0; i < count; ++i) {
            tree.write(folder + "Item" + std::to_string(i) + ".model", "<root/>");
        }
        tree.write(folder + "Twin.model", "<root/>");
        tree.write(folder + "tWIN.model", "<root/>");
        fileSystem()->refresh();
        EXPECT_EQ(Utils::resolveAndCorrectCaseOfPath(folder + "ITEM2.MODEL"),
                  tree.path(folder + "Item2.model"));
        EXPECT_EQ(Utils::resolveAndCorrectCaseOfPath(folder + "twin.model"),
                  tree.path(folder + "Twin.model"));
        EXPECT_EQ(Utils::resolveAndCorrectCaseOfPath(folder + "tWIN.model"),
                  tree.path(folder + "tWIN.model"));
        EXPECT_FALSE(Utils::fileExists(folder + "item" + std::to_string(count) + ".model"));
    }

    // A new file appears only once the listing cache is purged.
    EXPECT_FALSE(Utils::fileExists("content/props/barrel.model"));
    tree.write("Content/Props/Barrel.model", "<root/>");
    DataSectionCache::instance().purge("Content/Props", true);
    EXPECT_TRUE(Utils::fileExists("content/props/barrel.model"));
}

TEST(FileSystem, PrefersTheCurrentRealmsVariant) {
    TempResourceTree tree;
    tree.write("x/rock.primitives", "<plain/>");
    tree.write("x/rock.EU.primitives", "<realm/>");
    EXPECT_EQ(fileSystem()->resolveFilename("x/rock.primitives"), tree.path("x/rock.primitives"));
    Options::setOptionString("realm/currentRealm", "EU");
    EXPECT_EQ(fileSystem()->resolveFilename("x/rock.primitives"), tree.path("x/rock.EU.primitives"));
    EXPECT_EQ(Utils::openSection("x/rock.primitives")->sectionName(), "realm");
    EXPECT_EQ(fileSystem()->resolveFilename("x/rock.primitives", RealmChoice::ExactName),
              tree.path("x/rock.primitives"));
    Options::setOptionString("realm/currentRealm", "NA");
    EXPECT_EQ(fileSystem()->resolveFilename("x/rock.primitives"), tree.path("x/rock.primitives"));
    // Within one pass too, what a path resolved to under one realm is not kept for another.
    Options::setOptionString("realm/currentRealm", "EU");
    EXPECT_EQ(fileSystem()->resolveFilename("x/rock.primitives"), tree.path("x/rock.EU.primitives"));
    Options::setOptionString("realm/currentRealm", "");
    EXPECT_EQ(fileSystem()->resolveFilename("x/rock.primitives"), tree.path("x/rock.primitives"));

    // A section opened again under another realm is that realm's file, with nothing resolved in between.
    EXPECT_EQ(Utils::openSection("x/rock.primitives")->sectionName(), "plain");
    Options::setOptionString("realm/currentRealm", "EU");
    EXPECT_EQ(Utils::openSection("x/rock.primitives")->sectionName(), "realm");
    EXPECT_EQ(Utils::openSection("x/rock.primitives", RealmChoice::ExactName)->sectionName(), "plain");
    Options::setOptionString("realm/currentRealm", "");
    EXPECT_EQ(Utils::openSection("x/rock.primitives")->sectionName(), "plain");

    // A file that only the realm has: its type as named and as the realm's
    // copy differ, in whichever order they are asked.
    tree.write("x/sign.EU.primitives", "<realm/>");
    Options::setOptionString("realm/currentRealm", "EU");
    EXPECT_EQ(fileSystem()->fileType("x/sign.primitives", RealmChoice::ExactName), FT_NOT_FOUND);
    EXPECT_EQ(fileSystem()->fileType("x/sign.primitives"), FT_FILE);
    EXPECT_EQ(fileSystem()->fileType("x/sign.primitives", RealmChoice::ExactName), FT_NOT_FOUND);
    Options::setOptionString("realm/currentRealm", "");
    EXPECT_EQ(fileSystem()->fileType("x/sign.primitives"), FT_NOT_FOUND);

    // A realm's copy under a later root wins over the file as named under an earlier one.
    TempResourceTree later;
    later.write("x/rock.EU.primitives", "<later/>");
    later.write("x/tree.NA.primitives", "<other/>");
    tree.write("x/tree.primitives", "<plain/>");
    fileSystem()->setRoots({tree.root(), later.root()});
    Options::setOptionString("realm/currentRealm", "EU");
    tree.remove("x/rock.EU.primitives");
    tree.refresh();
    EXPECT_EQ(fileSystem()->resolveFilename("x/rock.primitives"), later.path("x/rock.EU.primitives"));
    EXPECT_EQ(fileSystem()->resolveFilename("x/tree.primitives"), tree.path("x/tree.primitives"));
    EXPECT_EQ(fileSystem()->resolveFilename("x/rock.primitives", RealmChoice::ExactName),
              tree.path("x/rock.primitives"));
    Options::setOptionString("realm/currentRealm", "");
    fileSystem()->setRoots({tree.root()});
}

TEST(DataSection, ReadsTypedValuesWithDefaults) {
    // Values are read without the blanks around them, and only those.
    EXPECT_EQ(SectionText::trim("\t\v a\x08b\f\r\n "), "a\x08b");
    EXPECT_EQ(SectionText::trim(" \t\n"), "");
    EXPECT_EQ(SectionText::trim(""), "");
    EXPECT_EQ(SectionText::trim("x"), "x");
    EXPECT_EQ(SectionText::trim("\x0ex\x1f"), "\x0ex\x1f");
    TempResourceTree tree;
    tree.write("a.model", R"(<root>
  <parent> content/x/normal/lod1/x </parent>
  <extent>64.5</extent>
  <count>-3</count><big>4294967295</big><bad>12abc</bad>
  <flag>TRUE</flag><off>0</off>
  <empty/><split> maps/<!-- moved -->c.dds </split><raw><![CDATA[ <x> ]]></raw>
  <around> a <inner>b</inner> c </around>
  <leading>a<![CDATA[b]]></leading><trailing><![CDATA[a]]>b</trailing><single><![CDATA[ s ]]></single>
  <partial><row3>1 2 3</row3></partial><bad><row0>1 0 0</row0><row1>0 x 0</row1></bad>
  <boundingBox><min>-1 0 -2.5</min><max>1 2</max></boundingBox>
  <tint>1 0.5 0.25 1</tint>
  <transform><row0>1 0 0</row0><row1>0 1 0</row1><row2>0 0 1</row2><row3>5 6 7</row3></transform>
  <property>diffuseMap<Texture>maps/a.dds</Texture></property>
  <property>normalMap<Texture>maps/b.dds</Texture></property>
</root>)");
    DataSectionPtr root = Utils::openSection("a.model");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->readString("parent"), "content/x/normal/lod1/x");
    EXPECT_EQ(root->readString("missing", "dflt"), "dflt");
    // A value is all the text of its element, comments and child elements left out, trimmed once.
    EXPECT_EQ(root->readString("empty", "dflt"), "");
    EXPECT_EQ(root->readString("split"), "maps/c.dds");
    EXPECT_EQ(root->readString("raw"), "<x>");
    EXPECT_EQ(root->readString("around"), "a  c");
    EXPECT_EQ(root->readString("leading"), "ab");
    EXPECT_EQ(root->readString("trailing"), "ab");
    EXPECT_EQ(root->readString("single"), "s");
    EXPECT_TRUE(root->openSection("leading")->valueIs("ab"));
    EXPECT_FLOAT_EQ(root->readFloat("extent", 1.f), 64.5f);
    EXPECT_FLOAT_EQ(root->readFloat("missing", -7.f), -7.f);
    EXPECT_EQ(root->readInt("count"), -3);
    EXPECT_EQ(root->readUInt("big"), 4294967295u);
    EXPECT_EQ(root->readUInt("count", 9), 9u);
    EXPECT_EQ(root->readInt("bad", 5), 5);
    EXPECT_TRUE(root->readBool("flag"));
    EXPECT_FALSE(root->readBool("off", true));
    EXPECT_EQ(root->readVector3("boundingBox/min"), Vector3(-1, 0, -2.5f));
    EXPECT_EQ(root->readVector3("boundingBox/max", Vector3(9, 9, 9)), Vector3(9, 9, 9));
    EXPECT_EQ(root->readVector4("tint"), Vector4(1, 0.5f, 0.25f, 1));
    Matrix m = root->readMatrix34("transform");
    EXPECT_EQ(m.row3(3), Vector3(5, 6, 7));
    EXPECT_EQ(root->readMatrix34("missing"), Matrix::identity());
    // Rows not given stay as in the identity; a row that is not three numbers refuses the whole.
    Matrix partial = Matrix::identity();
    partial.setRow3(3, Vector3(1, 2, 3));
    EXPECT_EQ(root->readMatrix34("partial"), partial);
    EXPECT_EQ(root->readMatrix34("bad", partial), partial);

    std::vector<DataSectionPtr> properties;
    root->openSections("property", properties);
    ASSERT_EQ(properties.size(), 2u);
    EXPECT_EQ(properties[0]->asString(), "diffuseMap");
    EXPECT_EQ(properties[1]->readString("Texture"), "maps/b.dds");
    EXPECT_EQ(properties[1]->parentSection()->sectionName(), "root");
    EXPECT_FALSE(root->parentSection());
    // Appended in file order, and only sections of exactly that tag.
    root->openSections("property", properties);
    ASSERT_EQ(properties.size(), 4u);
    EXPECT_EQ(properties[2]->asString(), "diffuseMap");
    EXPECT_EQ(properties[3]->readString("Texture"), "maps/b.dds");
    std::vector<DataSectionPtr> boxes;
    root->openSections("boundingBox", boxes);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->readString("min"), "-1 0 -2.5");
    std::vector<DataSectionPtr> none;
    root->openSections(std::string("property\0x", 10), none);
    root->openSections("propert", none);
    EXPECT_TRUE(none.empty());

    std::vector<std::string> names;
    for (DataSectionPtr child : *root) {
        names.push_back(child->sectionName());
    }
    EXPECT_EQ(names.front(), "parent");
    EXPECT_EQ(names.back(), "property");
    EXPECT_NE(std::string(root->openSection("boundingBox")->asBinary()->view()).find("<min>"),
              std::string::npos);

    // A value read by key is the value of the section opened at that key,
    // whatever the path's empty steps, and the default where there is none.
    for (const std::string key : {"", "extent", "boundingBox/min", "/boundingBox//min/", "boundingBox/none",
                                  "none/min", "property", "count"}) {
        SCOPED_TRACE(key);
        const DataSectionPtr at = root->openSection(key);
        EXPECT_EQ(root->readString(key, "dflt"), at ? at->asString("dflt") : "dflt");
        EXPECT_EQ(root->readInt(key, 11), at ? at->asInt(11) : 11);
        EXPECT_EQ(root->readVector3(key, Vector3(1, 2, 3)),
                  at ? at->asVector3(Vector3(1, 2, 3)) : Vector3(1, 2, 3));
    }
    EXPECT_EQ(root->readVector3("/boundingBox//min/"), Vector3(-1, 0, -2.5f));
    EXPECT_EQ(root->readString("property"), "diffuseMap");
}

TEST(DataSection, NestedElementsKeepTheirOwnChildrenParentsAndValues) {
    TempResourceTree tree;
    tree.write("nested.visual", R"(<root>
  <node>a<node>a1<node>a1x</node></node><other/><node>a2</node></node>
  <node>b<node>b1</node></node>
  text <renderSet><geometry>g</geometry></renderSet>
</root>)");
    DataSectionPtr root = Utils::openSection("nested.visual");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->asString(), "text");
    ASSERT_EQ(root->countChildren(), 3);
    EXPECT_FALSE(root->openChild(3));
    EXPECT_FALSE(root->openChild(-1));
    const DataSectionPtr a = root->openChild(0);
    ASSERT_EQ(a->countChildren(), 3);
    EXPECT_EQ(a->openChild(0)->asString(), "a1");
    EXPECT_EQ(a->openChild(1)->sectionName(), "other");
    EXPECT_EQ(a->openChild(2)->asString(), "a2");
    const DataSectionPtr a1x = a->openChild(0)->findChild("node");
    ASSERT_TRUE(a1x);
    EXPECT_EQ(a1x->asString(), "a1x");
    EXPECT_EQ(a1x->countChildren(), 0);
    EXPECT_EQ(a1x->parentSection()->parentSection()->asString(), "a");
    EXPECT_EQ(root->openChild(1)->readString("node"), "b1");
    EXPECT_EQ(root->readString("node/node/node"), "a1x");
    EXPECT_EQ(root->readString("renderSet/geometry"), "g");
    // A value compares whole and exact, as asString gives it.
    EXPECT_TRUE(root->valueIs("text"));
    EXPECT_FALSE(root->valueIs("tex"));
    EXPECT_FALSE(root->valueIs("Text"));
    EXPECT_FALSE(root->valueIs(" text"));
    EXPECT_TRUE(a1x->valueIs("a1x"));
    EXPECT_TRUE(a->openChild(1)->valueIs(""));
    EXPECT_FALSE(a->openChild(1)->valueIs("other"));
    std::vector<DataSectionPtr> bChildren;
    root->openChild(1)->openSections("node", bChildren);
    ASSERT_EQ(bChildren.size(), 1u);
    EXPECT_EQ(bChildren[0]->parentSection()->asString(), "b");

    // Children by tag are made once and kept where they are while the section lives.
    const std::vector<DataSectionPtr>& nodes = a->sectionsWithTag("node");
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0]->asString(), "a1");
    EXPECT_EQ(nodes[1]->asString(), "a2");
    EXPECT_EQ(a->sectionsWithTag("other").size(), 1u);
    EXPECT_TRUE(a->sectionsWithTag("missing").empty());
    EXPECT_EQ(&a->sectionsWithTag("node"), &nodes);
    std::vector<DataSectionPtr> again{root};
    a->openSections("node", again);
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[1], nodes[0]);
    EXPECT_EQ(again[2], nodes[1]);
    // A folder's files, which open as their root elements, the same way.
    tree.write("folder/x.visual", "<root/>");
    tree.write("folder/y.visual", "<root/>");
    const DataSectionPtr folder = Utils::openSection("folder");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->sectionsWithTag("root").size(), 2u);
    EXPECT_EQ(&folder->sectionsWithTag("root"), &folder->sectionsWithTag("root"));
    EXPECT_TRUE(folder->valueIs(folder->asString()));
    EXPECT_FALSE(folder->valueIs(folder->asString() + "x"));
}

TEST(DataSection, AnElementIsOneSectionAndAnySectionKeepsItsDocument) {
    const std::string text = "<root><a><b>deep</b><c>1</c></a><a>second</a></root>";
    std::string error;
    DataSectionPtr root =
        XMLFile::parse("doc.xml", BinaryPtr(new BinaryBlock({text.begin(), text.end()})), error);
    ASSERT_TRUE(root) << error;
    DataSectionPtr a = root->findChild("a");
    ASSERT_TRUE(a);
    // However an element is reached, it is the same section.
    EXPECT_EQ(root->openChild(0), a);
    EXPECT_EQ(root->sectionsWithTag("a").front(), a);
    EXPECT_EQ(a->findChild("b")->parentSection(), a);
    EXPECT_NE(root->openChild(1), a);

    // A section let go and asked for again reads as before; what it kept by
    // tag went with its last owner and is made again.
    const DataSection* aObject = a.get();
    const std::vector<DataSectionPtr>* kept = &a->sectionsWithTag("c");
    DataSectionPtr c = kept->front();
    a = nullptr;
    a = root->findChild("a");
    EXPECT_EQ(a.get(), aObject);
    EXPECT_EQ(a->readString("b"), "deep");
    ASSERT_EQ(a->sectionsWithTag("c").size(), 1u);
    EXPECT_EQ(a->sectionsWithTag("c").front(), c);
    EXPECT_EQ(c->asInt(), 1);

    // The document lives while any section of it has an owner, whichever.
    DataSectionPtr deep = a->findChild("b");
    a = nullptr;
    c = nullptr;
    root = nullptr;
    EXPECT_EQ(deep->asString(), "deep");
    const DataSectionPtr top = deep->parentSection()->parentSection();
    ASSERT_TRUE(top);
    EXPECT_EQ(top->sectionName(), "root");
    EXPECT_EQ(top->openChild(1)->asString(), "second");
    EXPECT_FALSE(top->parentSection());
}

namespace {

// A section type that answers no value by key, as folder and binary sections do.
class PlainSection : public DataSection {
  public:
    PlainSection(std::string name, std::string text, std::vector<DataSectionPtr> children = {})
        : name_(std::move(name)), text_(std::move(text)), children_(std::move(children)) {}
    std::string sectionName() const override { return name_; }
    int countChildren() override { return static_cast<int>(children_.size()); }
    DataSectionPtr openChild(int index) override { return children_.at(static_cast<size_t>(index)); }
    std::string asString(const std::string& /*defaultValue*/) override { return text_; }

  private:
    std::string name_;
    std::string text_;
    std::vector<DataSectionPtr> children_;
};

} // namespace

TEST(DataSection, SectionsThatAnswerNoKeyAreReadThroughTheirChildren) {
    DataSectionPtr transform(new PlainSection("transform", "",
                                              {DataSectionPtr(new PlainSection("row1", "4 5 6")),
                                               DataSectionPtr(new PlainSection("row3", "7 8 9"))}));
    DataSectionPtr root(
        new PlainSection("root", "", {transform, DataSectionPtr(new PlainSection("extent", " 2.5 "))}));
    Matrix expected = Matrix::identity();
    expected.setRow3(1, Vector3(4, 5, 6));
    expected.setRow3(3, Vector3(7, 8, 9));
    EXPECT_EQ(root->readMatrix34("transform"), expected);
    EXPECT_FLOAT_EQ(root->readFloat("extent", 0.f), 2.5f);
    EXPECT_EQ(root->readString("missing", "dflt"), "dflt");
}

TEST(DataSection, NumbersReadAsTheCLibraryReadsThem) {
    // The reading every value had before plain decimals got a faster path.
    const auto reference = [](const std::string& text, float* values, int count) {
        const char* p = text.c_str();
        for (int i = 0; i < count; ++i) {
            char* end = nullptr;
            values[i] = std::strtof(p, &end);
            if (end == p) {
                return false;
            }
            p = end;
        }
        for (; *p != '\0'; ++p) {
            if (!std::isspace(static_cast<unsigned char>(*p))) {
                return false;
            }
        }
        return true;
    };
    const auto bits = [](float value) {
        uint32_t b = 0;
        std::memcpy(&b, &value, sizeof b);
        return b;
    };
    std::mt19937 random(3);
    const std::string alphabet = "0123456789.-+eE xn";
    std::vector<std::string> texts = {"-0",
                                      "1.",
                                      ".5",
                                      "-.5",
                                      "3.4028236e38",
                                      "1e-45",
                                      "0x1p3",
                                      "inf",
                                      "-nan",
                                      "16777217",
                                      "0.1",
                                      "123456789012345678901234567890",
                                      "1 2 3",
                                      " 7\t",
                                      "+12",
                                      "-9223372036854775808",
                                      "9223372036854775808",
                                      "007",
                                      "-"};
    for (int n = 0; n < 20000; ++n) {
        std::string text(random() % 14, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        texts.push_back(text);
    }
    // Plain decimals of every length around the float's seven digits, where
    // rounding is closest to a tie.
    for (int n = 0; n < 60000; ++n) {
        std::string text = random() % 2 ? "-" : "";
        const int whole = static_cast<int>(random() % 9);
        const int fraction = static_cast<int>(random() % 12);
        for (int i = 0; i < whole; ++i) {
            text += static_cast<char>('0' + random() % 10);
        }
        if (fraction > 0 || random() % 2) {
            text += '.';
        }
        for (int i = 0; i < fraction; ++i) {
            text += static_cast<char>('0' + random() % 10);
        }
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        for (int count = 1; count <= 3; ++count) {
            float expected[3] = {};
            float actual[3] = {};
            const bool ok = reference(text, expected, count);
            ASSERT_EQ(SectionText::parseFloats(text, actual, count), ok) << "'" << text << "' " << count;
            for (int i = 0; ok && i < count; ++i) {
                EXPECT_EQ(bits(actual[i]), bits(expected[i])) << "'" << text << "' " << i;
            }
        }
        float one = 0.f;
        char* end = nullptr;
        const std::string trimmed = SectionText::trim(text);
        const float expected = std::strtof(trimmed.c_str(), &end);
        const bool ok = !trimmed.empty() && end != trimmed.c_str() && *end == '\0';
        ASSERT_EQ(SectionText::parseFloat(text, one), ok) << "'" << text << "'";
        if (ok) {
            EXPECT_EQ(bits(one), bits(expected)) << "'" << text << "'";
        }
        // Integers as strtoll reads them, out-of-range values refused.
        long long whole = 0;
        char* wholeEnd = nullptr;
        errno = 0;
        const long long expectedWhole = std::strtoll(trimmed.c_str(), &wholeEnd, 10);
        const bool wholeOk =
            !trimmed.empty() && errno == 0 && wholeEnd != trimmed.c_str() && *wholeEnd == '\0';
        ASSERT_EQ(SectionText::parseInt(text, whole), wholeOk) << "'" << text << "'";
        if (wholeOk) {
            EXPECT_EQ(whole, expectedWhole) << "'" << text << "'";
        }
    }
}

TEST(DataSection, UnreadableFilesOpenAsNullWithOneLogLine) {
    TempResourceTree tree;
    tree.write("broken.model", "<root><parent>x</root>");
    tree.write("digit.model", "<1house.model><parent/></1house.model>");
    DebugLog::Capture log;
    EXPECT_FALSE(Utils::openSection("broken.model"));
    EXPECT_FALSE(Utils::openSection("digit.model"));
    EXPECT_FALSE(Utils::openSection("missing.model"));
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_NE(log.lines()[0].text.find(tree.path("broken.model")), std::string::npos);
    EXPECT_NE(log.lines()[0].text.find("offset"), std::string::npos);
    EXPECT_EQ(log.lines()[0].priority, DebugLog::Warning);
}

TEST(DataSection, FolderSectionsListEntriesAndOpenFiles) {
    TempResourceTree tree;
    tree.write("m/normal/lod1/house.model", "<root><extent>1</extent></root>");
    tree.write("m/normal/lod0/house.model", "<root/>");
    tree.makeDirectory("m/crash");
    DataSectionPtr folder = Utils::openSection("m");
    ASSERT_TRUE(folder);
    ASSERT_EQ(folder->countChildren(), 2);
    EXPECT_EQ(folder->openChild(0)->sectionName(), "crash");
    EXPECT_EQ(folder->openChild(1)->sectionName(), "normal");
    EXPECT_FALSE(folder->openChild(2));
    EXPECT_FALSE(folder->openChild(-1));
    DataSectionPtr normal = folder->openSection("normal");
    ASSERT_TRUE(normal);
    EXPECT_EQ(normal->openChild(0)->sectionName(), "lod0");
    EXPECT_FLOAT_EQ(normal->openSection("lod1/house.model")->readFloat("extent"), 1.f);
    EXPECT_FALSE(normal->openSection("lod1/other.model"));

    // Links open as what they lead to, and only inside the roots.
    TempResourceTree outside;
    outside.write("far/x.model", "<root/>");
    fileSystem()->setRoots({tree.root()});
    const std::error_code linked =
        makeLinks({{tree.path("m/normal"), tree.path("m/alias"), true},
                   {outside.path("far"), tree.path("m/away"), true},
                   {tree.path("m/normal/lod0/house.model"), tree.path("m/one.model")}});
    if (linked) {
        GTEST_SKIP() << "this disk cannot hold symbolic links: " << linked.message();
    }
    tree.refresh();
    folder = Utils::openSection("m");
    ASSERT_TRUE(folder);
    std::vector<std::string> opened;
    for (int i = 0; i < folder->countChildren(); ++i) {
        const DataSectionPtr child = folder->openChild(i);
        opened.push_back(child ? child->sectionName() + "/" + std::to_string(child->countChildren()) : "-");
    }
    EXPECT_EQ(opened, (std::vector<std::string>{"alias/2", "-", "crash/0", "normal/2", "root/0"}));
}

TEST(DataSection, FolderSectionsSpellNamesAsPathsAreSpelled) {
    TempResourceTree tree;
    // Names that differ in letter case alone, in a short folder and in one
    // long enough for the file system to index by lowered name.
    for (const std::string folder : {"short", "long"}) {
        tree.write(folder + "/Lod.model", "<root><extent>1</extent></root>");
        tree.write(folder + "/lod.model", "<root><extent>2</extent></root>");
        tree.write(folder + "/Only.model", "<root><extent>3</extent></root>");
    }
    for (int i = 0; i < 20; ++i) {
        tree.write("long/f" + std::to_string(i) + ".model", "<root/>");
    }
    std::error_code ec;
    if (std::filesystem::equivalent(tree.path("short/Lod.model"), tree.path("short/lod.model"), ec)) {
        GTEST_SKIP() << "this disk ignores letter case";
    }
    for (const std::string folder : {"short", "long"}) {
        const DataSectionPtr section = Utils::openSection(folder);
        ASSERT_TRUE(section);
        for (const std::string name : {"Lod.model", "lod.model", "LOD.model", "only.MODEL", "none.model"}) {
            const DataSectionPtr found = section->openSection(name);
            EXPECT_EQ(found.get(), Utils::openSection(folder + "/" + name).get()) << folder << "/" << name;
            EXPECT_FLOAT_EQ(found ? found->readFloat("extent") : 0.f, name == "lod.model"    ? 2.f
                                                                      : name == "none.model" ? 0.f
                                                                      : name[0] == 'o'       ? 3.f
                                                                                             : 1.f)
                << folder << "/" << name;
        }
    }
}

TEST(FileSystem, RealFoldersFollowTheLinksOfTheRootAndOfTheFoldersBelowIt) {
    TempResourceTree tree;
    tree.write("content/props/a.model", "<root/>");
    tree.write("shared/b.model", "<root/>");
    const std::string viaLink = tree.root() + "-link";
    const std::error_code linked =
        makeLinks({{tree.path("shared"), tree.path("content/linked"), true}, {tree.root(), viaLink, true}});
    if (linked) {
        GTEST_SKIP() << "this disk cannot hold symbolic links: " << linked.message();
    }
    fileSystem()->setRoots({viaLink});
    const std::string realRoot = std::filesystem::canonical(tree.root()).generic_string();
    EXPECT_EQ(fileSystem()->realFolder(viaLink + "/content/props"), realRoot + "/content/props");
    EXPECT_EQ(fileSystem()->realFolder(viaLink + "/content/linked"), realRoot + "/shared");
    EXPECT_EQ(fileSystem()->realFolder(viaLink + "/content/missing"), "");
    fileSystem()->setRoots({tree.root()});
    std::filesystem::remove(viaLink);
}

TEST(FileSystem, AListingTypesItsEntriesAndFollowsLinks) {
    TempResourceTree tree;
    tree.write("f/file.txt", "x");
    tree.makeDirectory("f/folder");
    const std::error_code linked = makeLinks({{tree.path("f/file.txt"), tree.path("f/to-file")},
                                              {tree.path("f/folder"), tree.path("f/to-folder"), true},
                                              {tree.path("f/nothing"), tree.path("f/broken")}});
    if (linked) {
        GTEST_SKIP() << "this disk cannot hold symbolic links: " << linked.message();
    }
    std::map<std::string, std::string> kinds;
    for (const auto& entry : fileSystem()->listInDiskOrder(tree.path("f"))->entries) {
        kinds[entry.name] = std::string(entry.isLink ? "link " : "") + (entry.isFile ? "file" : "") +
                            (entry.isFolder ? "folder" : "");
    }
    EXPECT_EQ(kinds, (std::map<std::string, std::string>{{"broken", "link "},
                                                         {"file.txt", "file"},
                                                         {"folder", "folder"},
                                                         {"to-file", "link file"},
                                                         {"to-folder", "link folder"}}));
    EXPECT_EQ(fileSystem()->fileType("f/file.txt"), FT_FILE);
    EXPECT_EQ(fileSystem()->fileType("F/FOLDER"), FT_DIRECTORY);
    EXPECT_EQ(fileSystem()->fileType("f/to-folder"), FT_DIRECTORY);
    EXPECT_EQ(fileSystem()->fileType("f/broken"), FT_NOT_FOUND);
    // Asked again, types come from the check's resolutions, a link's from the disk.
    for (int time = 0; time < 2; ++time) {
        SCOPED_TRACE(time);
        EXPECT_EQ(fileSystem()->fileType("f/to-file"), FT_FILE);
        EXPECT_EQ(fileSystem()->fileType("f/to-folder"), FT_DIRECTORY);
        EXPECT_EQ(fileSystem()->fileType(tree.path("f/to-file")), FT_FILE);
        EXPECT_EQ(fileSystem()->fileType(tree.path("f/folder")), FT_DIRECTORY);
        EXPECT_EQ(fileSystem()->fileType("f/file.txt"), FT_FILE);
        int type = FT_NOT_FOUND;
        EXPECT_EQ(fileSystem()->resolveExisting("f/to-folder", RealmChoice::PreferRealm, type),
                  tree.path("f/to-folder"));
        EXPECT_EQ(type, FT_DIRECTORY);
    }

    const auto missing = fileSystem()->listInDiskOrder(tree.path("f/none"));
    EXPECT_TRUE(missing->entries.empty());
    EXPECT_FALSE(missing->error.empty());
}

TEST(FileSystem, ReadsAFileWithTheStampOfWhatWasReadAndRefusesWhatIsNoFile) {
    TempResourceTree tree;
    const std::string file = tree.write("a.model", "<root/>");
    FileStamp stamp;
    std::string reason;
    const BinaryPtr bytes = Utils::readFileContents(file, reason, &stamp);
    ASSERT_TRUE(bytes) << reason;
    EXPECT_EQ(bytes->view(), "<root/>");
    EXPECT_EQ(stamp, fileStamp(file));
    EXPECT_EQ(stamp.type, FileStamp::File);

    // Past the limit a file is refused by its size, before a byte is read.
    tree.write("big.model", std::string((size_t(1) << 20) + 1, ' '));
    EXPECT_FALSE(readStampedFile(tree.path("big.model"), size_t(1) << 20).bytes);
    EXPECT_EQ(readStampedFile(tree.path("big.model"), size_t(1) << 20).reason,
              "is larger than the 1 MB a resource file may have");
    EXPECT_TRUE(readStampedFile(tree.path("big.model"), (size_t(1) << 20) + 1).bytes);

    EXPECT_FALSE(Utils::readFileContents(tree.path("missing.model"), reason));
    EXPECT_EQ(reason.rfind("cannot be read (", 0), 0u) << reason;
    tree.makeDirectory("folder.model");
    EXPECT_FALSE(Utils::readFileContents(tree.path("folder.model"), reason));
    EXPECT_EQ(reason.rfind("cannot be read (", 0), 0u) << reason;
#ifndef _WIN32
    // A pipe under a file's name is refused at once instead of waiting for a writer.
    ASSERT_EQ(mkfifo(tree.path("pipe.model").c_str(), 0600), 0);
    EXPECT_FALSE(Utils::readFileContents(tree.path("pipe.model"), reason));
    EXPECT_EQ(reason.rfind("cannot be read (", 0), 0u) << reason;
#endif
}

TEST(ViewMemo, KeepsOneValuePerObjectUntilAPurgeFindsAChangeOrANewCheck) {
    TempResourceTree tree;
    tree.write("a.model", "<a/>");
    tree.write("b.model", "<b/>");
    tree.age();
    const DataSectionPtr a = Utils::openSection("a.model");
    const DataSectionPtr b = Utils::openSection("b.model");
    ViewMemo<DataSectionPtr, int> memo;
    int made = 0;
    const auto make = [&] { return ++made; };
    EXPECT_EQ(memo.get(a, make), 1);
    EXPECT_EQ(memo.get(b, make), 2);
    EXPECT_EQ(memo.get(a, make), 1);
    // The disk proves the purged file and its folders unchanged: nothing derived goes.
    const uint64_t view = fileSystem()->viewVersion();
    DataSectionCache::instance().purge("b.model");
    DataSectionCache::instance().purge("", true);
    EXPECT_EQ(fileSystem()->viewVersion(), view);
    EXPECT_EQ(memo.get(a, make), 1);
    EXPECT_EQ(Utils::openSection("b.model").get(), b.get());
    // A purged file saved meanwhile, or a file added beside it, starts another view.
    std::ofstream(tree.path("b.model")) << "<bb/>";
    DataSectionCache::instance().purge("b.model");
    EXPECT_EQ(memo.get(a, make), 3);
    tree.write("c.model", "<c/>");
    DataSectionCache::instance().purge("a.model");
    EXPECT_EQ(memo.get(a, make), 4);
    fileSystem()->refresh();
    EXPECT_EQ(memo.get(a, make), 5);
    EXPECT_EQ(memo.get(a, make), 5);
}

TEST(DataSectionCache, ServesParsedTreesUntilPurged) {
    TempResourceTree tree;
    tree.write("a.model", "<root><extent>1</extent></root>");
    DataSectionPtr first = Utils::openSection("a.model");
    std::ofstream(tree.path("a.model")) << "<root><extent>2</extent></root>";
    EXPECT_EQ(Utils::openSection("a.model").get(), first.get());
    DataSectionCache::instance().purge("a.model");
    EXPECT_FLOAT_EQ(Utils::openSection("a.model")->readFloat("extent"), 2.f);
}

TEST(DataSectionCache, PurgesSeveralPlacesAtOnce) {
    TempResourceTree tree;
    tree.write("r/a.xml", "<a>1</a>");
    tree.write("r/b.xml", "<b>1</b>");
    tree.write("s/c.xml", "<c>1</c>");
    tree.age();
    const DataSectionPtr a = Utils::openSection("r/a.xml");
    const DataSectionPtr b = Utils::openSection("r/b.xml");
    const DataSectionPtr c = Utils::openSection("s/c.xml");
    const uint64_t view = fileSystem()->viewVersion();
    DataSectionCache::instance().purgeAll({tree.path("r/a.xml"), "r/b.xml", "s/c.xml"}, false);
    EXPECT_EQ(fileSystem()->viewVersion(), view);
    EXPECT_EQ(Utils::openSection("r/b.xml").get(), b.get());

    // Saved since: only that file is read again, whichever place names it.
    std::ofstream(tree.path("s/c.xml")) << "<c>2</c>";
    DataSectionCache::instance().purgeAll({"r/a.xml", "r/b.xml", tree.path("s/c.xml")}, false);
    EXPECT_NE(fileSystem()->viewVersion(), view);
    EXPECT_EQ(Utils::openSection("r/a.xml").get(), a.get());
    EXPECT_EQ(Utils::openSection("s/c.xml")->asInt(), 2);
    // A file added beside one of them is found.
    tree.write("r/d.xml", "<d/>");
    DataSectionCache::instance().purgeAll({"s/c.xml", "r/a.xml"}, false);
    EXPECT_TRUE(Utils::openSection("r/d.xml"));
}

TEST(DataSectionCache, KeepsATreeAcrossChecksOnlyWhileTheDiskProvesItUnchanged) {
    TempResourceTree tree;
    tree.write("a.model", "<root><extent>1</extent></root>");
    const DataSectionPtr fresh = Utils::openSection("a.model");
    fileSystem()->refresh();
    // Saved just now: another save in the same tick would leave the stamp as it is.
    const DataSectionPtr again = Utils::openSection("a.model");
    EXPECT_NE(again.get(), fresh.get());

    tree.age();
    fileSystem()->refresh();
    const DataSectionPtr old = Utils::openSection("a.model");
    fileSystem()->refresh();
    EXPECT_EQ(Utils::openSection("a.model").get(), old.get());

    std::ofstream(tree.path("a.model")) << "<root><extent>2</extent></root>";
    fileSystem()->refresh();
    EXPECT_FLOAT_EQ(Utils::openSection("a.model")->readFloat("extent"), 2.f);

    // Saved again within a check: its folder proves nothing changed there,
    // but the purge of the file still shows what it holds now.
    tree.age();
    fileSystem()->refresh();
    EXPECT_FLOAT_EQ(Utils::openSection("a.model")->readFloat("extent"), 2.f);
    std::ofstream(tree.path("a.model")) << "<root><extent>3</extent></root>";
    EXPECT_FLOAT_EQ(Utils::openSection("a.model")->readFloat("extent"), 2.f);
    DataSectionCache::instance().purge("a.model");
    EXPECT_FLOAT_EQ(Utils::openSection("a.model")->readFloat("extent"), 3.f);
}

TEST(CoreServices, FormattingConversionsAndTexts) {
    const std::string longText(5000, 'x');
    EXPECT_EQ(formatString("%s-%d", longText.c_str(), 7), longText + "-7");
    EXPECT_EQ(wideToUtf8(utf8ToWide("caf\xc3\xa9 \xe2\x82\xac")), "caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(utf8ToWide("\xff").size(), 1u);
    // The shortcut for a round trip through a path gives what the round trip gives.
    for (const std::string path :
         {"/res/content/caf\xc3\xa9/lod0", "C:\\res\\content/lod0", "a//b///", "//a/./b", ""}) {
        EXPECT_EQ(genericUtf8(path), pathToUtf8(pathFromUtf8(path))) << path;
    }

    StringProvider& strings = StringProvider::instance();
    EXPECT_EQ(strings.str("COMMON/PAGE_VALIDATION/CHECKLODS"), L"Check LODs");
    EXPECT_EQ(strings.str("NO/SUCH/KEY"), L"NO/SUCH/KEY");
    EXPECT_EQ(strings.str("NO/SUCH/KEY", StringProvider::ReturnEmpty), L"");
    TempResourceTree tree;
    const std::string file =
        tree.write("strings.txt", "# texts\nCOMMON/PAGE_VALIDATION/CHECKLODS = LOD-Pr\xc3\xbc"
                                  "fung\n");
    EXPECT_EQ(strings.loadStringsFile(file), 1);
    EXPECT_EQ(strings.str("COMMON/PAGE_VALIDATION/CHECKLODS"), L"LOD-Pr\u00fcfung");
    strings.resetToDefaults();

    EXPECT_EQ(componentTypeName("class KX::CollisionComponent"), "CollisionComponent");
    EXPECT_EQ(IComponent::types().registerType("A"), IComponent::types().registerType("A"));
    {
        KX_STACK_TRACK("Outer::op");
        EXPECT_EQ(StackTracker::depth(), 1u);
        EXPECT_EQ(StackTracker::snapshot(), std::vector<std::string>{"Outer::op (" __FILE__ ")"});
    }
    EXPECT_EQ(StackTracker::depth(), 0u);
    // Deeper than the frames kept: counted, and the outermost ones shown.
    const std::function<void(size_t)> nest = [&](size_t left) {
        KX_STACK_TRACK(left % 2 == 0 ? "Even::op" : "Odd::op");
        if (left > 0) {
            nest(left - 1);
            return;
        }
        EXPECT_EQ(StackTracker::depth(), 300u);
        const std::vector<std::string> shown = StackTracker::snapshot();
        ASSERT_EQ(shown.size(), 256u);
        EXPECT_EQ(shown.front(), "Odd::op (" __FILE__ ")");
        EXPECT_EQ(shown.back(), "Even::op (" __FILE__ ")");
    };
    nest(299);
    EXPECT_EQ(StackTracker::depth(), 0u);
}

TEST(FileSystem, OpensAFileAsNamedWhateverTheCurrentRealm) {
    TempResourceTree tree;
    tree.write("x/rock.primitives", "<plain><n>1</n></plain>");
    tree.write("x/rock.EU.primitives", "<realm><n>1</n></realm>");
    tree.write("x/stone.primitives", "<plain/>");
    tree.write("x/stone.EU.primitives", "<realm/>");
    tree.write("x/pebble.EU.primitives", "<realm/>");
    Options::setOptionString("realm/currentRealm", "EU");

    EXPECT_EQ(fileSystem()->resolveFilename("x/rock.primitives", RealmChoice::ExactName),
              tree.path("x/rock.primitives"));
    EXPECT_EQ(fileSystem()->fileType("x/pebble.primitives", RealmChoice::ExactName), FT_NOT_FOUND);
    EXPECT_EQ(fileSystem()->fileType("x/pebble.primitives"), FT_FILE);
    EXPECT_FALSE(Utils::openSection("x/pebble.primitives", RealmChoice::ExactName));

    // Whichever open comes first, each later open gets the tree of the file it names.
    const DataSectionPtr rockCopy = Utils::openSection("x/rock.primitives");
    const DataSectionPtr rock = Utils::openSection("x/rock.primitives", RealmChoice::ExactName);
    const DataSectionPtr stone = Utils::openSection("x/stone.primitives", RealmChoice::ExactName);
    const DataSectionPtr stoneCopy = Utils::openSection("x/stone.primitives");
    ASSERT_TRUE(rockCopy && rock && stone && stoneCopy);
    EXPECT_EQ(rockCopy->sectionName(), "realm");
    EXPECT_EQ(rock->sectionName(), "plain");
    EXPECT_EQ(stone->sectionName(), "plain");
    EXPECT_EQ(stoneCopy->sectionName(), "realm");
    EXPECT_EQ(Utils::openSection("x/rock.primitives").get(), rockCopy.get());
    EXPECT_EQ(Utils::openSection("x/rock.primitives", RealmChoice::ExactName).get(), rock.get());
    EXPECT_EQ(Utils::openSection("x/stone.primitives").get(), stoneCopy.get());
    EXPECT_EQ(Utils::openSection("x/stone.primitives", RealmChoice::ExactName).get(), stone.get());

    // Purging the resource path drops both trees it may open.
    std::ofstream(tree.path("x/rock.primitives")) << "<plain><n>2</n></plain>";
    std::ofstream(tree.path("x/rock.EU.primitives")) << "<realm><n>2</n></realm>";
    DataSectionCache::instance().purge("x/rock.primitives");
    EXPECT_EQ(Utils::openSection("x/rock.primitives", RealmChoice::ExactName)->readInt("n"), 2);
    EXPECT_EQ(Utils::openSection("x/rock.primitives")->readInt("n"), 2);
}

TEST(CoreServices, LetterCaseFoldsOnlyAsciiLetters) {
    EXPECT_EQ(AsciiCase::toLower("Content/HOUSE_01.Model"), "content/house_01.model");
    EXPECT_EQ(AsciiCase::toLower("@AZ[`az{"), "@az[`az{");
    // Bytes of UTF-8 sequences are never letters: \xc3\x89 stays capital E acute.
    EXPECT_EQ(AsciiCase::toLower("\xc3\x89TAGE"), "\xc3\x89tage");
    // Every byte value, at every place of an eight-byte step and of the tail.
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        const char lowered = byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32) : c;
        for (size_t at = 0; at < 19; ++at) {
            std::string text(19, 'Q');
            text[at] = c;
            std::string expected(19, 'q');
            expected[at] = lowered;
            ASSERT_EQ(AsciiCase::toLower(text), expected) << byte << " at " << at;
        }
    }
    EXPECT_TRUE(AsciiCase::equalIgnoringCase("TEXCOORD", "texCoord"));
    EXPECT_FALSE(AsciiCase::equalIgnoringCase("lod", "lod0"));
    EXPECT_FALSE(AsciiCase::equalIgnoringCase("\xc3\x89", "\xc3\xa9"));
}

TEST(CoreServices, SearchInLoweredTextFindsWhatTheLoweredCopyWould) {
    const std::vector<std::string> texts = {"",
                                            "<",
                                            "<NodelessVisual>",
                                            "x<nodeless<NODELESSVISUAL>",
                                            "<nodelessvisua",
                                            "ab<nodelessvisual>",
                                            "\xc3\x89<Tag>",
                                            "Lod0 lOD1",
                                            "aAaAb",
                                            "<<nodefullvisual>>"};
    const std::vector<std::string> needles = {
        "",    "<",      "<nodelessvisual>", "<nodefullvisual>", "lod1", "aab", "<tag>", "\xc3\x89<",
        "Lod", "<<node", "visual>>",         "<nodelessvisual>x"};
    for (const std::string& text : texts) {
        for (const std::string& needle : needles) {
            EXPECT_EQ(AsciiCase::findInLowered(text, needle), AsciiCase::toLower(text).find(needle))
                << "'" << needle << "' in '" << text << "'";
        }
    }
}

TEST(CoreServices, ACountedObjectGoesWithItsLastOwner) {
    struct Probe : ReferenceCount {
        explicit Probe(bool& gone) : gone(gone) {}
        ~Probe() override { gone = true; }
        bool& gone;
    };
    bool gone = false;
    SmartPointer<Probe> first(new Probe(gone));
    EXPECT_EQ(first->refCount(), 1);
    {
        const SmartPointer<Probe> second = first;
        EXPECT_EQ(first->refCount(), 2);
        first = nullptr;
        EXPECT_FALSE(gone);
    }
    EXPECT_TRUE(gone);
}

TEST(CoreServices, TheCachesLockLetsOneThreadInAtATime) {
    LightMutex mutex;
    EXPECT_TRUE(mutex.try_lock());
    EXPECT_FALSE(mutex.try_lock());
    mutex.unlock();

    // Unprotected increments from several threads would lose some.
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                std::lock_guard<LightMutex> lock(mutex);
                counter = counter + 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 80000);
    EXPECT_TRUE(mutex.try_lock());
    mutex.unlock();
}

TEST(CoreServices, PathTablesHashStringsAndViewsAlikeAndTellNeighboursApart) {
    const StringHash hash;
    std::unordered_set<size_t> seen;
    for (int n = 0; n < 20000; ++n) {
        // Paths that differ only in a digit, at every distance from the end.
        const std::string path = "content/buildings/house_" + std::to_string(n) + "/normal/lod0/house.model";
        EXPECT_EQ(hash(path), hash(std::string_view(path)));
        seen.insert(hash(path));
        seen.insert(hash(path.substr(0, 7 + n % 9)));
    }
    EXPECT_GT(seen.size(), 20000u);
    EXPECT_NE(hash("abcdefgh1"), hash("abcdefgh2"));
    EXPECT_NE(hash(std::string_view("a")), hash(std::string_view("a\0", 2)));
    EXPECT_NE(hash(""), hash(std::string_view("\0", 1)));

    // The bytes past the last whole word count as a word of their own, the
    // first of them lowest, whatever the length; bytes above 0x7f too.
    const auto byWords = [](std::string_view text) {
        uint64_t h = static_cast<uint64_t>(text.size()) * 0x9e3779b97f4a7c15ull;
        for (size_t at = 0; at < text.size(); at += 8) {
            uint64_t word = 0;
            for (size_t i = 0; i < 8 && at + i < text.size(); ++i) {
                word |= static_cast<uint64_t>(static_cast<unsigned char>(text[at + i])) << (8 * i);
            }
            h = (((h << 5) | (h >> 59)) ^ word) * 0x517cc1b727220a95ull;
        }
        return static_cast<size_t>(h ^ (h >> 29));
    };
    const std::string bytes = "content/\xc3\x89tage_01/lod0/x.model\x01\xff";
    for (size_t length = 0; length <= bytes.size(); ++length) {
        EXPECT_EQ(hash(std::string_view(bytes).substr(0, length)), byWords(bytes.substr(0, length)))
            << length;
    }
}
