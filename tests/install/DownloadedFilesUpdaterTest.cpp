#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <Poco/DirectoryIterator.h>
#include <Poco/File.h>
#include <Poco/Path.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "install/DownloadedFilesUpdater.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "model/ProductInfo.h"
#include "model/RemoteFileDefinition.h"
#include "support/FileProbes.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

extern char** environ;

using namespace VantisClient;

namespace {

const char* const GAME_ID = "1207658924";

// What the updater wrote through the callback. `onIndexWrite` runs when the
// index entry is written, which is while the install paths are locked.
class RecordingCallback : public ProductFilesSynchronizerCallbackInterface {
public:
    bool serializeProductInfo() override { return true; }
    bool serializeProductInfoToIndex() override {
        ++indexWrites;
        if (onIndexWrite) onIndexWrite();
        return true;
    }
    bool serializeFileState(Poco::SharedPtr<InstalledFileInfo> file) override {
        installedWrites.push_back(file->getFileInfo().getPath());
        return true;
    }
    bool serializeFilesStates(std::vector<Poco::SharedPtr<InstalledFileInfo>>&) override { return true; }
    bool serializeFileState(Poco::SharedPtr<DownloadingFileInfo>) override { return true; }
    bool serializeFilesStates(std::vector<Poco::SharedPtr<DownloadingFileInfo>>&) override { return true; }
    void postNotification_Progress() override {}
    void postNotification_StatusCode(EInstallStatusCode) override {}

    int indexWrites = 0;
    std::vector<std::string> installedWrites;
    std::function<void()> onIndexWrite;
};

std::string linkTarget(const std::string& path) {
    char target[4096];
    ssize_t length = ::readlink(path.c_str(), target, sizeof(target));
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

// Every entry below `directory` with its contents (a link by its target).
std::map<std::string, std::string> tree(const std::string& directory) {
    std::map<std::string, std::string> entries;
    for (Poco::DirectoryIterator it(directory), end; it != end; ++it) {
        const std::string path = it->path();
        if (!linkTarget(path).empty()) {
            entries[path] = "-> " + linkTarget(path);
        } else if (it->isDirectory()) {
            entries[path] = "dir";
            for (const auto& entry : tree(path)) entries.insert(entry);
        } else {
            entries[path] = VantisTest::ReadWholeFile(path);
        }
    }
    return entries;
}

// A program that runs until it is killed, at the latest when this goes.
class RunningProgram {
public:
    RunningProgram(const std::string& program, const std::string& standardInput) {
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        if (!standardInput.empty()) {
            ::posix_spawn_file_actions_addopen(&actions, 0, standardInput.c_str(), O_RDONLY, 0);
        }
        std::string name = "sleep", seconds = "600";
        char* argv[] = {&name[0], &seconds[0], nullptr};
        EXPECT_EQ(0, ::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv, environ));
        ::posix_spawn_file_actions_destroy(&actions);
    }
    ~RunningProgram() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    std::string id() const { return std::to_string(m_pid); }

private:
    pid_t m_pid = -1;
};

class DownloadedFilesUpdaterTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        product->setGameId(GAME_ID);
        product->setLocalPath(game(""));
        product->setSupportPath(sandbox.path("Support"));
        product->setDownloadsPath(downloads(""));
        Poco::File(game("")).createDirectories();
        Poco::File(downloads("")).createDirectories();
    }

    std::string game(const std::string& relative) const { return sandbox.path("Game/" + relative); }
    std::string downloads(const std::string& relative) const {
        return sandbox.path(std::string("Downloads/") + GAME_ID + "/" + relative);
    }

    RemoteFileDefinition::Ptr manifestEntry(const std::string& path, const std::string& contents,
                                            FileType type = FileType::Game, bool hidden = false) {
        RemoteFileDefinition::Ptr definition =
            new RemoteFileDefinition(FileInformation(type, path, "hash of " + contents, contents.size(), hidden, false),
                                     RemoteFileLocation("u", 0), RemoteFileDefinition::DEFAULT_PART_SIZE);
        product->getFiles().addRemoteFileInfo(definition);
        return definition;
    }

    // A verified download of `contents`, waiting in the downloads directory.
    void download(const std::string& path, const std::string& contents, FileType type = FileType::Game,
                  bool hidden = false) {
        DownloadingFileInfo::Ptr file = new DownloadingFileInfo(manifestEntry(path, contents, type, hidden),
                                                                downloads(""), DownloadingFileInfo::Queued);
        file->hashingCompleteOK("hash of " + contents);
        product->getFiles().addDownloadingFileInfo(file);
        Poco::File(Poco::Path(file->getFullPath()).parent()).createDirectories();
        std::ofstream(file->getFullPath(), std::ios::binary) << contents;
    }

    // An installed file with its record; `inManifest` keeps it from being stale.
    void installed(const std::string& path, const std::string& contents, bool inManifest) {
        sandbox.writeFile("Game/" + path, contents);
        InstalledFileInfo::Ptr file =
            new InstalledFileInfo(FileType::Game, path, InstalledFileInfo::Hashed, game(path));
        file->getFileInfo().setHash("hash of " + contents);
        product->getFiles().insertOrUpdateInstalledFileInfo(file);
        if (inManifest) manifestEntry(path, contents);
    }

    void directory(const std::string& path, bool support, bool deleteFlag, DirInfo::EDirState state) {
        DirInfo entry(new RemoteDirDefinition(support, path), state);
        entry.deleteFlag = deleteFlag;
        product->setDirInfo(path, entry);
    }

    const DirInfo& directoryEntry(const std::string& path) {
        return *std::find_if(product->dir_begin(), product->dir_end(),
                             [&path](const DirInfo& entry) { return entry.definition->getPath() == path; });
    }

    // "state:hash:size:full path", or "absent".
    std::string installedRecord(const std::string& path) {
        const ProductFiles::InstalledFiles& files = product->getFiles().getInstalledFiles();
        auto found = files.find(path);
        if (found == files.end()) return "absent";
        const InstalledFileInfo& file = *found->second;
        return std::to_string(file.getState()) + ":" + file.getFileInfo().getHash() + ":" +
               std::to_string(file.getFileInfo().getSize()) + ":" + file.getFullPath();
    }

    // The downloading record's state, or 0 when it is gone.
    int downloadState(const std::string& path) {
        const ProductFiles::DownloadingFiles& files = product->getFiles().getDownloadingFiles();
        auto found = files.find(path);
        return found == files.end() ? 0 : found->second->getState();
    }

    static bool logged(const std::string& text) {
        return RecentMemoryBufferChannel::Instance().getContents().find(text) != std::string::npos;
    }

    ProductInfo::Ptr product = new ProductInfo;
    RecordingCallback callback;
    DownloadedFilesUpdater updater{product, callback};
};

}  // namespace

TEST_F(DownloadedFilesUpdaterTest, PlacesTheDownloadsAndRemovesWhatLeftTheManifest) {
    installed("bin/game", "old game", true);
    ASSERT_EQ(0, ::chmod(game("bin/game").c_str(), 0750));
    installed("kept.dat", "kept", true);
    installed("old.dat", "left the manifest", false);
    download("bin/game", "new game");
    download("new/dir/file.dat", "fresh", FileType::Game, true);
    download("settings.cfg", "support", FileType::Support);
    directory("logs", false, false, DirInfo::Pending);
    directory("cache", true, false, DirInfo::Pending);
    product->getSymLinks().addRemoteSymLinkInfo(new RemoteSymLinkDefinition("current", "bin/game", "file"));

    bool placeholderWasEmpty = false;
    EProductState stateWhileLocked = EProductState::None;
    callback.onIndexWrite = [&] {
        placeholderWasEmpty = VantisTest::ExistsNoFollow(game("new/dir/file.dat")) && sandbox.readFile("Game/new/dir/file.dat").empty();
        stateWhileLocked = product->getProductState();
    };
    ASSERT_TRUE(updater.update());
    EXPECT_FALSE(updater.getInstallResult().isSpecified());

    EXPECT_EQ("new game", sandbox.readFile("Game/bin/game"));
    EXPECT_EQ("fresh", sandbox.readFile("Game/new/dir/file.dat"));
    EXPECT_EQ("support", sandbox.readFile("Support/settings.cfg"));
    EXPECT_EQ("kept", sandbox.readFile("Game/kept.dat"));
    EXPECT_FALSE(VantisTest::ExistsNoFollow(game("old.dat")));
    EXPECT_FALSE(VantisTest::ExistsNoFollow(downloads("")));
    EXPECT_TRUE(placeholderWasEmpty);
    EXPECT_EQ(EProductState::UpdatingUnplayable, stateWhileLocked);
    EXPECT_EQ(1, callback.indexWrites);

    struct Row {
        const char* path;
        std::string record;
    } rows[] = {
        {"bin/game", "1002:hash of new game:8:" + game("bin/game")},
        {"new/dir/file.dat", "1002:hash of fresh:5:" + game("new/dir/file.dat")},
        {"settings.cfg", "1002:hash of support:7:" + sandbox.path("Support/settings.cfg")},
        {"kept.dat", "1002:hash of kept:0:" + game("kept.dat")},
        {"old.dat", "absent"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(row.record, installedRecord(row.path));
    }
    std::sort(callback.installedWrites.begin(), callback.installedWrites.end());
    EXPECT_EQ((std::vector<std::string>{"bin/game", "new/dir/file.dat", "settings.cfg"}), callback.installedWrites);
    EXPECT_TRUE(product->getFiles().getDownloadingFiles().empty());

    EXPECT_TRUE(Poco::File(game("logs")).isDirectory());
    EXPECT_TRUE(Poco::File(sandbox.path("Support/cache")).isDirectory());
    EXPECT_EQ(DirInfo::Created, directoryEntry("logs").state);
    EXPECT_EQ("bin/game", linkTarget(game("current")));
    EXPECT_EQ(1u, product->getSymLinks().getInstalledSymLinks().count("current"));

    EXPECT_TRUE(logged("Set hidden attribute for file " + game("new/dir/file.dat") + "."));
    EXPECT_TRUE(logged("Moved file " + downloads("bin/game") + " to " + game("bin/game")));
    EXPECT_TRUE(logged("Deleting installed file " + game("old.dat") +
                       ", since it does not exist in remote product definition"));
    EXPECT_TRUE(logged("Product 1207658924 state changed from 'None' to 'UpdatingUnplayable'"));
}

TEST_F(DownloadedFilesUpdaterTest, WithNothingDownloadedTheDownloadsDirectoryAndStaleFilesStillGo) {
    sandbox.writeFile(std::string("Downloads/") + GAME_ID + "/leftover.part", "junk");
    installed("old.dat", "left the manifest", false);
    ASSERT_TRUE(updater.update());
    EXPECT_FALSE(VantisTest::ExistsNoFollow(downloads("")));
    EXPECT_FALSE(VantisTest::ExistsNoFollow(game("old.dat")));
    EXPECT_EQ("absent", installedRecord("old.dat"));
}

TEST_F(DownloadedFilesUpdaterTest, PendingDirectoriesAreCreatedOrRemoved) {
    sandbox.writeFile("Game/full/file", "x");
    Poco::File(game("empty")).createDirectories();
    Poco::File(game("done")).createDirectories();
    struct Row {
        const char* path;
        bool support;
        bool deleteFlag;
        DirInfo::EDirState state;
        const char* onDisk;
        bool existsAfter;
        DirInfo::EDirState stateAfter;
        bool deleteFlagAfter;
    } rows[] = {
        {"a/b", false, false, DirInfo::Pending, "Game/a/b", true, DirInfo::Created, false},
        {"s", true, false, DirInfo::Pending, "Support/s", true, DirInfo::Created, false},
        {"empty", false, true, DirInfo::Pending, "Game/empty", false, DirInfo::Created, false},
        {"full", false, true, DirInfo::Pending, "Game/full/file", true, DirInfo::Created, false},
        {"missing", false, true, DirInfo::Pending, "Game/missing", false, DirInfo::Created, false},
        {"done", false, true, DirInfo::Created, "Game/done", true, DirInfo::Created, true},
    };
    for (const Row& row : rows) directory(row.path, row.support, row.deleteFlag, row.state);

    // One that is already gone counts as removed, so that no later run fails on it.
    EXPECT_FALSE(updater.createDirectoriesForProductInfo().isSpecified());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(row.existsAfter, VantisTest::ExistsNoFollow(sandbox.path(row.onDisk)));
        EXPECT_EQ(row.stateAfter, directoryEntry(row.path).state);
        EXPECT_EQ(row.deleteFlagAfter, directoryEntry(row.path).deleteFlag);
    }
    EXPECT_TRUE(logged("Creating directory a/b in library folder."));
    EXPECT_TRUE(logged("Creating directory s in support folder."));
    EXPECT_FALSE(logged("Creating directory done"));
}

TEST_F(DownloadedFilesUpdaterTest, LinksAreMadeWhereNothingOfTheUsersStandsAndAnEmptyPathIsSkipped) {
    sandbox.writeFile("Game/bin/game", "game");
    // On disk since the last update, and changed behind its back.
    ASSERT_EQ(0, ::symlink("somewhere else", game("same").c_str()));
    ASSERT_EQ(0, ::symlink("bin/game", game("right").c_str()));
    struct stat rightBefore {};
    ASSERT_EQ(0, ::lstat(game("right").c_str(), &rightBefore));
    Poco::File(game("emptydir")).createDirectories();
    SymLinkFiles& links = product->getSymLinks();
    for (const char* path : {"same", "right", "gone", ""})
        links.addInstalledSymLinkInfo(new InstalledSymLinkInfo(path, "x", "file"));
    for (const char* path : {"same", "right", "", "nested/missing/link", "emptydir", "zlast"}) {
        links.addRemoteSymLinkInfo(new RemoteSymLinkDefinition(path, "bin/game", "file"));
    }

    // The link whose directory does not exist fails; the ones after it are still made.
    EXPECT_EQ(EInstallResult::DiskAccessError, updater.createSymbolicLinks().value(EInstallResult::Success));
    for (const char* path : {"same", "right", "emptydir", "zlast"}) EXPECT_EQ("bin/game", linkTarget(game(path)));
    struct stat rightAfter {};
    ASSERT_EQ(0, ::lstat(game("right").c_str(), &rightAfter));
    EXPECT_EQ(rightBefore.st_ino, rightAfter.st_ino) << "a link that points where it should is left alone";
    EXPECT_EQ("game", sandbox.readFile("Game/bin/game"));
    EXPECT_TRUE(Poco::File(game("")).isDirectory());

    std::vector<std::string> recorded;
    for (const auto& entry : links.getInstalledSymLinks()) recorded.push_back(entry.first);
    EXPECT_EQ((std::vector<std::string>{"emptydir", "nested/missing/link", "right", "same", "zlast"}), recorded);
    EXPECT_TRUE(logged("Link gone missing or has invalid path stored."));
    EXPECT_TRUE(logged("Link  missing or has invalid path stored."));
    EXPECT_TRUE(logged("Skipping the link to bin/game with an empty path"));
    EXPECT_TRUE(logged("Failed to create symbolic link " + game("nested/missing/link") + " to bin/game."));
}

TEST_F(DownloadedFilesUpdaterTest, TheUsersFilesWhereLinksWereOrAreWantedSurviveAnUpdate) {
    // Each stands where the last update made a link or where this one wants one.
    sandbox.writeFile("Game/saves/slot1", "the user's save");
    sandbox.writeFile("Game/saves/deep/slot2", "another save");
    sandbox.writeFile("Game/config/user.cfg", "fov=90");
    sandbox.writeFile("Game/notes.txt", "the user's notes");
    sandbox.writeFile("Game/bin/game", "game");
    SymLinkFiles& links = product->getSymLinks();
    for (const char* path : {"saves", "config", "notes.txt"})
        links.addInstalledSymLinkInfo(new InstalledSymLinkInfo(path, "bin/game", "file"));
    // "config" left the manifest; the others are still wanted.
    for (const char* path : {"saves", "notes.txt", "wanted"})
        links.addRemoteSymLinkInfo(new RemoteSymLinkDefinition(path, "bin/game", "file"));
    sandbox.writeFile("Game/wanted/readme", "made by the user");
    const std::map<std::string, std::string> before = tree(game(""));

    ASSERT_TRUE(updater.update());
    EXPECT_EQ(before, tree(game("")));
    EXPECT_TRUE(logged("Keeping " + game("config") + " where the link config was"));
    EXPECT_TRUE(logged("Not making the link " + game("saves") + " to bin/game"));
    EXPECT_TRUE(logged("Not making the link " + game("wanted") + " to bin/game"));
}

TEST_F(DownloadedFilesUpdaterTest, ARunningGameKeepsEveryFileInPlace) {
    installed("data.pak", "data", true);
    ASSERT_EQ(0, ::chmod(game("data.pak").c_str(), 0640));
    download("data.pak", "new data");
    download("new.dat", "new");
    Poco::File(game("bin")).createDirectories();
    Poco::File("/bin/sleep").copyTo(game("bin/runner"));

    struct Case {
        const char* name;
        std::string program;
        std::string standardInput;
        std::string usedFile;
    } cases[] = {
        {"runs from the install directory", game("bin/runner"), "", game("bin/runner")},
        {"holds one of its files open", "/bin/sleep", game("data.pak"), game("data.pak")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunningProgram program(c.program, c.standardInput);
        EXPECT_EQ(EInstallResult::GameInSession, updater.moveFilesForProductInfo().value(EInstallResult::Success));
        EXPECT_TRUE(logged("Process " + program.id() + " uses " + c.usedFile + ": game 1207658924 is in session"));
        EXPECT_EQ("data", sandbox.readFile("Game/data.pak"));
        EXPECT_EQ(0640u, VantisTest::ModeOf(game("data.pak")));
        EXPECT_FALSE(VantisTest::ExistsNoFollow(game("new.dat")));
        EXPECT_EQ("new data", VantisTest::ReadWholeFile(downloads("data.pak")));
        EXPECT_EQ(DownloadingFileInfo::Verified, downloadState("data.pak"));
        EXPECT_EQ(EProductState::None, product->getProductState());
        EXPECT_EQ(0, callback.indexWrites);
    }

    // Files this process holds are the update's own business.
    std::ifstream heldHere(game("data.pak"));
    EXPECT_FALSE(updater.moveFilesForProductInfo().isSpecified());
    EXPECT_EQ("new data", sandbox.readFile("Game/data.pak"));
}

TEST_F(DownloadedFilesUpdaterTest, ARefusedPathChangesNothingBeforeTheFirstLock) {
    installed("bin/game", "old game", true);
    download("bin/game", "new game");
    sandbox.writeFile("outside/old.dat", "not the game's");
    ASSERT_EQ(0, ::symlink(sandbox.path("outside").c_str(), game("via").c_str()));
    ProductFiles& files = product->getFiles();

    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string reason;
        const char* keptOnDisk;
        const char* keptContents;
    } cases[] = {
        {"a non-empty directory where a file goes",
         [&] {
             sandbox.writeFile("Game/saves/slot1", "the user's save");
             download("saves", "a file named like the user's directory");
         },
         "Not replacing the directory " + game("saves") + ": it is not empty.", "Game/saves/slot1", "the user's save"},
        {"a file where a directory must go",
         [&] {
             sandbox.writeFile("Game/level", "the user's file");
             download("level/map.dat", "map");
         },
         "Not moving a file to " + game("level/map.dat") + ": " + game("level") + " is not a directory.", "Game/level",
         "the user's file"},
        {"a download gone since it was verified",
         [&] {
             download("gone.dat", "gone");
             Poco::File(downloads("gone.dat")).remove();
         },
         "Not moving " + downloads("gone.dat") + ": the verified download is no longer there.", "Game/bin/game",
         "old game"},
        {"a link through a link",
         [&] { product->getSymLinks().addRemoteSymLinkInfo(new RemoteSymLinkDefinition("via/lnk", "x", "file")); },
         "Refusing the path '" + game("via/lnk") + "': '" + game("via") + "' is a symbolic link.", "outside/old.dat",
         "not the game's"},
        {"a stale file through a link",
         [&] {
             files.insertOrUpdateInstalledFileInfo(
                 new InstalledFileInfo(FileType::Game, "via/old.dat", InstalledFileInfo::Hashed, game("via/old.dat")));
         },
         "Refusing the path '" + game("via/old.dat") + "': '" + game("via") + "' is a symbolic link.",
         "outside/old.dat", "not the game's"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecentMemoryBufferChannel::Instance().Clear();
        c.arrange();
        EXPECT_EQ(EInstallResult::DiskAccessError, updater.moveFilesForProductInfo().value(EInstallResult::Success));
        EXPECT_TRUE(logged(c.reason));
        EXPECT_TRUE(logged("Nothing of game 1207658924 was moved: a path of the update was refused."));
        EXPECT_EQ(c.keptContents, sandbox.readFile(c.keptOnDisk));
        EXPECT_EQ("old game", sandbox.readFile("Game/bin/game"));
        EXPECT_EQ("new game", VantisTest::ReadWholeFile(downloads("bin/game")));
        EXPECT_EQ(DownloadingFileInfo::Verified, downloadState("bin/game"));
        EXPECT_EQ(EProductState::None, product->getProductState());
        EXPECT_EQ(0, callback.indexWrites);
        // What the case added goes, so that the next one is refused for its own reason alone.
        for (const char* path : {"saves", "level/map.dat", "gone.dat"}) files.getDownloadingFiles().erase(path);
        product->getSymLinks().getRemoteSymLinks().clear();
        files.getInstalledFiles().erase("via/old.dat");
    }
    EXPECT_FALSE(updater.moveFilesForProductInfo().isSpecified());
    EXPECT_EQ("new game", sandbox.readFile("Game/bin/game"));
}

TEST_F(DownloadedFilesUpdaterTest, ALinkThatFailsAfterTheMovesLeavesTheGamePlayable) {
    installed("bin/game", "old game", true);
    download("bin/game", "new game");
    product->getSymLinks().addRemoteSymLinkInfo(new RemoteSymLinkDefinition("nested/missing/link", "x", "file"));

    EXPECT_FALSE(updater.update());
    EXPECT_EQ(EInstallResult::DiskAccessError, updater.getInstallResult().value(EInstallResult::Success));
    EXPECT_EQ("new game", sandbox.readFile("Game/bin/game"));
    EXPECT_EQ(EProductState::Updating, product->getProductState());
}

TEST_F(DownloadedFilesUpdaterTest, AFailedMoveKeepsTheOldFileTheDownloadAndItsRecord) {
    installed("bin/game", "old game", true);
    download("bin/game", "new game");
    download("ok.dat", "fine");
    // Taken away between the check and the move.
    callback.onIndexWrite = [&] { Poco::File(downloads("bin/game")).remove(); };

    EXPECT_FALSE(updater.update());
    EXPECT_EQ(EInstallResult::DiskAccessError, updater.getInstallResult().value(EInstallResult::Success));
    EXPECT_EQ("old game", sandbox.readFile("Game/bin/game"));
    EXPECT_EQ("1002:hash of old game:0:" + game("bin/game"), installedRecord("bin/game"));
    EXPECT_EQ(DownloadingFileInfo::Verified, downloadState("bin/game"));
    EXPECT_EQ("fine", sandbox.readFile("Game/ok.dat"));
    EXPECT_EQ(0, downloadState("ok.dat"));
    EXPECT_EQ(EProductState::UpdatingUnplayable, product->getProductState());
    EXPECT_TRUE(logged("Failed to move file " + downloads("bin/game") + " to " + game("bin/game") + "!"));
    EXPECT_TRUE(logged("Keeping the downloads directory " + downloads("")));
}

TEST_F(DownloadedFilesUpdaterTest, NothingIsWrittenThroughALinkPlantedInTheDirectories) {
    sandbox.writeFile("outside/precious", "keep");
    sandbox.writeFile("outside/old.dat", "old");
    sandbox.writeFile("outside/old-link", "not a link");
    sandbox.writeFile("outside/item", "someone else's file");
    const std::map<std::string, std::string> before = tree(sandbox.path("outside"));
    ASSERT_EQ(0, ::symlink(sandbox.path("outside").c_str(), game("data").c_str()));
    ASSERT_EQ(0, ::symlink(sandbox.path("outside").c_str(), downloads("pack").c_str()));

    directory("data/sub", false, false, DirInfo::Pending);
    directory("data", false, true, DirInfo::Pending);
    download("data/file.dat", "through the link");
    product->getFiles().addDownloadingFileInfo(new DownloadingFileInfo(
        manifestEntry("pack/item", "someone else's file"), downloads(""), DownloadingFileInfo::Verified));
    InstalledFileInfo::Ptr stale =
        new InstalledFileInfo(FileType::Game, "data/old.dat", InstalledFileInfo::Hashed, game("data/old.dat"));
    product->getFiles().insertOrUpdateInstalledFileInfo(stale);
    product->getSymLinks().addInstalledSymLinkInfo(new InstalledSymLinkInfo("data/old-link", "x", "file"));
    product->getSymLinks().addRemoteSymLinkInfo(new RemoteSymLinkDefinition("data/lnk", "x", "file"));

    using Step = Poco::Optional<EInstallResult> (DownloadedFilesUpdater::*)();
    struct Case {
        const char* name;
        Step step;
    } cases[] = {
        {"directories", &DownloadedFilesUpdater::createDirectoriesForProductInfo},
        {"moves", &DownloadedFilesUpdater::moveFilesForProductInfo},
        {"deletions", &DownloadedFilesUpdater::deleteFilesForProductInfo},
        {"links", &DownloadedFilesUpdater::createSymbolicLinks},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EInstallResult::DiskAccessError, (updater.*c.step)().value(EInstallResult::Success));
        EXPECT_EQ(before, tree(sandbox.path("outside")));
    }
    EXPECT_EQ("-> " + sandbox.path("outside"), tree(game(""))[game("data")]);
    // Nothing lost: the refused records stay for a later update.
    EXPECT_EQ(DownloadingFileInfo::Verified, downloadState("data/file.dat"));
    EXPECT_NE("absent", installedRecord("data/old.dat"));
    EXPECT_EQ(1u, product->getSymLinks().getInstalledSymLinks().count("data/old-link"));
    EXPECT_TRUE(
        logged("Refusing the path '" + game("data/file.dat") + "': '" + game("data") + "' is a symbolic link."));
    EXPECT_TRUE(
        logged("Refusing the path '" + downloads("pack/item") + "': '" + downloads("pack") + "' is a symbolic link."));
}
