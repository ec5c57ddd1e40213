#include <gtest/gtest.h>

#include <Poco/Exception.h>

#include "model/ModelTestSupport.h"
#include "model/ProductInfo.h"
#include "model/RemoteProductDefinition.h"

namespace VantisClient {
namespace {

class ProductInfoTest : public VantisTest::LoggingTest {
protected:
    ProductInfoTest() { product.setGameId("42"); }

    DownloadingFileInfo::Ptr downloading(const std::string& path, uint64_t size, DownloadingFileInfo::DownloadingFileState state,
                                         uint16_t markedParts) {
        RemoteFileDefinition::Ptr remote(new RemoteFileDefinition(FileInformation(FileType::Game, path, "h", size),
                                                                   RemoteFileLocation("u", 0), 1048576));
        DownloadingFileInfo::Ptr file(new DownloadingFileInfo(remote, "/downloads", state));
        for (uint16_t i = 0; i < markedParts; ++i) file->getParts().markPart(i);
        return file;
    }

    static DirInfo dir(const std::string& path, DirInfo::EDirState state) {
        return DirInfo(new RemoteDirDefinition(false, path), state);
    }

    ProductInfo product;
};

TEST_F(ProductInfoTest, StateChangesAreLoggedOnlyWhenAskedAndReal) {
    const struct {
        int32_t from;
        int32_t to;
        bool log;
        const char* line;
    } cases[] = {
        {0, 3, true, "Product 42 state changed from 'None' to 'Installed'"},
        {3, 3, true, nullptr},
        {0, 3, false, nullptr},
        {1, 7, true, "Product 42 state changed from 'Installing' to 'Unknown'"},
        {-1, 6, true, "Product 42 state changed from 'Unknown' to 'OfflineUnplayable'"},
    };
    for (const auto& c : cases) {
        product.setProductState(static_cast<EProductState>(c.from), false);
        size_t before = logged().size();
        product.setProductState(static_cast<EProductState>(c.to), c.log);
        EXPECT_EQ(static_cast<EProductState>(c.to), product.getProductState());
        if (c.line == nullptr) {
            EXPECT_EQ(before, logged().size()) << c.from << " -> " << c.to;
        } else {
            ASSERT_EQ(before + 1, logged().size());
            EXPECT_EQ(c.line, logged().back().text);
        }
    }
}

TEST_F(ProductInfoTest, SyncProgressIsTheFractionOfPartsDone) {
    float progress = 0;
    uint64_t totalBytes = 99;
    product.getSyncProgress(progress, totalBytes);
    EXPECT_EQ(0.0f, progress);
    EXPECT_EQ(0u, totalBytes);

    product.getFiles().addDownloadingFileInfo(downloading("a", 10 * 1048576, DownloadingFileInfo::Downloading, 4));
    product.getFiles().addDownloadingFileInfo(downloading("b", 6 * 1048576, DownloadingFileInfo::Verified, 0));
    product.getFiles().addDownloadingFileInfo(downloading("c", 0, DownloadingFileInfo::Queued, 0));
    progress = 0;
    product.getSyncProgress(progress, totalBytes);
    EXPECT_FLOAT_EQ(0.625f, progress);
    EXPECT_EQ(16u * 1048576, totalBytes);

    // A record loaded from storage has parts but no definition yet: no bytes.
    DownloadingFileInfo::Ptr stored(new DownloadingFileInfo(FileType::Game, "d", DownloadingFileInfo::Hashing, "/d"));
    stored->getParts().setPartInfo(4);
    product.getFiles().addDownloadingFileInfo(stored);
    progress = 0;
    product.getSyncProgress(progress, totalBytes);
    EXPECT_FLOAT_EQ(14.0f / 20.0f, progress);
    EXPECT_EQ(16u * 1048576, totalBytes);
}

TEST_F(ProductInfoTest, InstallationPathFollowsTheFileKind) {
    product.setLocalPath("/games/zorv");
    product.setSupportPath("/games/zorv-support");
    const struct {
        int32_t type;
        const char* expected;
    } cases[] = {
        {990, "/games/zorv/bin/game"}, {991, "/games/zorv-support/bin/game"}, {992, "/games/zorv/bin/game"},
        {993, "/games/zorv/bin/game"}, {994, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected,
                  product.getPathForInstallation(FileInformation(static_cast<FileType>(c.type), "bin/game")))
            << c.type;
    }
}

TEST_F(ProductInfoTest, PathSettersNormalizeButStoredPathsStayAsTheyWere) {
    product.setLocalPath("C:\\games\\zorv");
    product.setDownloadsPath("\\downloads");
    product.setSupportPath("support\\");
    EXPECT_EQ("C:/games/zorv", product.getLocalPath());
    EXPECT_EQ("/downloads", product.getDownloadsPath());
    EXPECT_EQ("support/", product.getSupportPath());

    product.assignStoredPaths("a\\b", "c\\d", "e\\f");
    EXPECT_EQ("a\\b", product.getLocalPath());
    EXPECT_EQ("c\\d", product.getDownloadsPath());
    EXPECT_EQ("e\\f", product.getSupportPath());
}

TEST_F(ProductInfoTest, SetDirInfoReplacesInPlaceOrAppends) {
    product.setDirInfo("a", dir("a", DirInfo::Pending));
    product.setDirInfo("b", dir("b", DirInfo::Pending));
    product.setDirInfo("c", dir("c", DirInfo::Pending));
    DirInfo created = dir("b", DirInfo::Created);
    created.fullPath = "/games/zorv/b";
    product.setDirInfo("b", created);

    ASSERT_EQ(3, product.dir_end() - product.dir_begin());
    EXPECT_EQ("a", product.dir_begin()[0].definition->getPath());
    EXPECT_EQ("b", product.dir_begin()[1].definition->getPath());
    EXPECT_EQ(DirInfo::Created, product.dir_begin()[1].state);
    EXPECT_EQ("/games/zorv/b", product.dir_begin()[1].fullPath);
    EXPECT_EQ("c", product.dir_begin()[2].definition->getPath());

    product.removeDirInfo("b");
    product.removeDirInfo("missing");
    ASSERT_EQ(2u, product.getDirectories().size());
    EXPECT_EQ("c", product.getDirectories()[1].definition->getPath());

    EXPECT_THROW(product.setDirInfo("x", DirInfo(nullptr, DirInfo::Pending)), Poco::NullPointerException);
    product.getDirectories().push_back(DirInfo(nullptr, DirInfo::Pending));
    EXPECT_THROW(product.removeDirInfo("x"), Poco::NullPointerException);
}

TEST_F(ProductInfoTest, InfoFileContentsOnlyOverrideWhatTheySay) {
    product.setLanguage("de");
    product.setRevisionList({"42"});
    Poco::SharedPtr<MiniManifestContents> contents(new MiniManifestContents("42", "/games/zorv"));
    contents->name = "Zorv";
    product.setMiniManifestContents(contents);
    EXPECT_EQ("de", product.getLanguage());
    EXPECT_EQ(tRevisionList{"42"}, product.getRevisionList());
    EXPECT_EQ("Zorv", product.getMiniManifestContents().name);

    contents->language = "en";
    contents->installedGameIds = {"42", "43"};
    product.setMiniManifestContents(contents);
    EXPECT_EQ("en", product.getLanguage());
    EXPECT_EQ((tRevisionList{"42", "43"}), product.getRevisionList());
    EXPECT_THROW(product.setMiniManifestContents(nullptr), Poco::NullPointerException);
}

TEST_F(ProductInfoTest, ApplyRemoteDefinitionTakesOnlyTheSelectionAndGameIds) {
    product.setLocalPath("/games/zorv");
    product.setRootGameId("42");
    product.setAvailableLanguages(LanguageList());
    product.getAvailableLanguages().add_unique(LanguageInfo("fr"));
    product.onInstallerExecuted(RemoteSupportInfo("42", "setup.exe", ""));

    RemoteProductDefinition remote("99", {"42", "43"}, "en", false);
    remote.setManifestTimestamp(12345);
    remote.setRootGameId("7");
    remote.getAvailableGameIDs().push_back(AvailableGameIDInfo("43", false));
    remote.getAvailableLanguages().add_unique(LanguageInfo("en"));
    product.applyRemoteDefinition(remote);

    EXPECT_EQ("en", product.getLanguage());
    EXPECT_EQ((tRevisionList{"42", "43"}), product.getRevisionList());
    EXPECT_EQ(12345, product.getManifestTimestamp());
    ASSERT_EQ(1u, product.getAvailableGameIDs().size());
    EXPECT_EQ("42", product.getGameId());
    EXPECT_EQ("42", product.getRootGameId());
    EXPECT_EQ("/games/zorv", product.getLocalPath());
    EXPECT_EQ("fr", product.getAvailableLanguages()[0].asString());
    EXPECT_EQ(1u, product.getSupportCommands().size());
    product.clearLocalSupportList();
    EXPECT_TRUE(product.getSupportCommands().empty());
}

TEST_F(ProductInfoTest, PresentationDataIsASnapshot) {
    product.setLanguage("en");
    product.setRevisionList({"42"});
    product.setManifestTimestamp(7);
    product.setProductState(EProductState::Installed, false);
    product.getAvailableLanguages().add_unique(LanguageInfo("en"));
    Poco::SharedPtr<MiniManifestContents> contents(new MiniManifestContents("42", "/games/zorv"));
    contents->name = "Zorv";
    product.setMiniManifestContents(contents);

    ProductPresentationData::Ptr snapshot = product.constructProductPresentationData();
    product.setProductState(EProductState::Updating, false);
    product.getRevisionList().push_back("43");

    EXPECT_EQ("gid '42' (language 'en' manifestTimestamp '7' revisions '42')",
              snapshot->getDebugIdentificationString());
    EXPECT_EQ(EProductState::Installed, snapshot->state);
    EXPECT_EQ("Zorv", snapshot->contents.name);
    ASSERT_EQ(1u, snapshot->availableLanguages.size());
}

TEST_F(ProductInfoTest, FreshRecordIsEmpty) {
    ProductInfo fresh;
    EXPECT_EQ(EProductState::None, fresh.getProductState());
    EXPECT_EQ(ProductInfo::UpToDate, fresh.getUpToDateState());
    EXPECT_EQ(0u, fresh.getLoadedData());
    EXPECT_TRUE(fresh.getTargetIdentification().isNull());
    fresh.markSection(ProductInfo::IndexSection);
    fresh.markSection(ProductInfo::ProductDBSection);
    EXPECT_EQ(3u, fresh.getLoadedData());
}

TEST(ProductFilesTest, AddKeepsTheFirstRecordAndInsertOrUpdateReplaces) {
    ProductFiles files;
    auto installed = [](const std::string& fullPath) {
        return InstalledFileInfo::Ptr(
            new InstalledFileInfo(FileType::Game, "bin/game", InstalledFileInfo::Unverified, fullPath));
    };
    files.addInstalledFileInfo(installed("/first"));
    files.addInstalledFileInfo(installed("/second"));
    EXPECT_EQ("/first", files.getInstalledFiles()["bin/game"]->getFullPath());
    files.insertOrUpdateInstalledFileInfo(installed("/third"));
    EXPECT_EQ("/third", files.getInstalledFiles()["bin/game"]->getFullPath());

    auto loaded = [](const std::string& fullPath) {
        return DownloadingFileInfo::Ptr(
            new DownloadingFileInfo(FileType::Game, "bin/game", DownloadingFileInfo::Queued, fullPath));
    };
    files.addDownloadingFileInfo(loaded("/old"));
    files.addDownloadingFileInfo(loaded("/new"));
    EXPECT_EQ("/old", files.getDownloadingFiles()["bin/game"]->getFullPath());

    auto remote = [](uint64_t size) {
        return RemoteFileDefinition::Ptr(new RemoteFileDefinition(FileInformation(FileType::Game, "bin/game", "h", size),
                                                                  RemoteFileLocation("u", 0), 1048576));
    };
    files.addRemoteFileInfo(remote(1));
    files.addRemoteFileInfo(remote(2));
    EXPECT_EQ(1u, files.getRemoteFiles().size());
    EXPECT_EQ(2u, files.getRemoteFiles()["bin/game"]->getSize());

    EXPECT_THROW(files.addInstalledFileInfo(nullptr), Poco::NullPointerException);
    EXPECT_THROW(files.addDownloadingFileInfo(nullptr), Poco::NullPointerException);
    EXPECT_THROW(files.insertOrUpdateInstalledFileInfo(nullptr), Poco::NullPointerException);
    EXPECT_THROW(files.addRemoteFileInfo(nullptr), Poco::NullPointerException);
}

TEST(SymLinkFilesTest, InstalledLinksKeepTheFirstAndRemoteLinksAreReplaced) {
    SymLinkFiles links;
    links.addInstalledSymLinkInfo(new InstalledSymLinkInfo("/g/b", "/g/lib/b.so", "file"));
    links.addInstalledSymLinkInfo(new InstalledSymLinkInfo("/g/a", "/g/lib/a.so", "file"));
    links.addInstalledSymLinkInfo(new InstalledSymLinkInfo("/g/a", "/g/other", "file"));
    ASSERT_EQ(2u, links.getInstalledSymLinks().size());
    EXPECT_EQ("/g/a", links.getInstalledSymLinks().begin()->first);
    EXPECT_EQ("/g/lib/a.so", links.getInstalledSymLinks().begin()->second->getFullTargetPath());
    links.removeInstalledSymLinkInfo("/g/a");
    links.removeInstalledSymLinkInfo("/g/missing");
    EXPECT_EQ(1u, links.getInstalledSymLinks().size());

    links.addRemoteSymLinkInfo(new RemoteSymLinkDefinition("bin/x", "a", "file"));
    links.addRemoteSymLinkInfo(new RemoteSymLinkDefinition("bin/x", "b", "file"));
    ASSERT_EQ(1u, links.getRemoteSymLinks().size());
    EXPECT_EQ("b", links.getRemoteSymLinks()["bin/x"]->getTarget());
    EXPECT_THROW(links.addInstalledSymLinkInfo(nullptr), Poco::NullPointerException);
    EXPECT_THROW(links.addRemoteSymLinkInfo(nullptr), Poco::NullPointerException);
}

}  // namespace
}  // namespace VantisClient
