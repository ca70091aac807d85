// Replace-on-save: the old file survives every failure, and a replaced file
// keeps what users set on it.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "model_io.hpp"
#include "run.hpp"
#include "support.hpp"

using namespace md3;

namespace {

class SaveOutput : public ScratchDir {
protected:
    bool save(const std::string& name, const ModelBuffer& bytes) {
        PendingOutput pending;
        if (!open_output(name, pending)) return false;
        return commit_output(pending, bytes);
    }
};

const ModelBuffer kOld(300, 'o');
const ModelBuffer kNew(200, 'n');

}  // namespace

TEST_F(SaveOutput, CreatesANewFile) {
    ASSERT_TRUE(save(path("new.md3"), kNew));
    EXPECT_EQ(read_file(path("new.md3")), kNew);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(SaveOutput, ReplacesAFileKeepingItsPermissions) {
    write_file(path("model.md3"), kOld);
    fs::permissions(path("model.md3"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(save(path("model.md3"), kNew));
    EXPECT_EQ(read_file(path("model.md3")), kNew);
    EXPECT_EQ(fs::status(path("model.md3")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(), 1u);
    if (geteuid() == 0) {  // only root may give a file away
        ASSERT_EQ(chown(path("model.md3").c_str(), 65534, 65534), 0);
        ASSERT_TRUE(save(path("model.md3"), kOld));
        struct stat replaced;
        ASSERT_EQ(stat(path("model.md3").c_str(), &replaced), 0);
        EXPECT_EQ(replaced.st_uid, 65534u);
        EXPECT_EQ(replaced.st_gid, 65534u);
    }
}

TEST_F(SaveOutput, ReplacesTheTargetOfASymbolicLink) {
    fs::create_directory(dir / "real");
    write_file(path("real/model.md3"), kOld);
    fs::create_symlink("real/model.md3", dir / "link.md3");
    ASSERT_TRUE(save(path("link.md3"), kNew));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.md3")));
    EXPECT_EQ(read_file(path("real/model.md3")), kNew);
    EXPECT_EQ(entries(), 2u);  // no temporary left beside the link
}

TEST_F(SaveOutput, FailsToOpenInAMissingDirectory) {
    PendingOutput pending;
    EXPECT_FALSE(open_output(path("absent/model.md3"), pending));
    EXPECT_FALSE(open_output(path("absent") + "/", pending));
    // An output that never opened cannot be committed, and writes nothing.
    EXPECT_FALSE(pending.is_open());
    EXPECT_FALSE(commit_output(pending, kNew));
    EXPECT_EQ(entries(), 0u);
}

TEST_F(SaveOutput, FailedRenameLeavesNoTemporary) {
    PendingOutput pending;
    ASSERT_TRUE(open_output(path("busy"), pending));
    // A non-empty folder that appears under the name meanwhile cannot be replaced.
    fs::create_directories(dir / "busy" / "inside");
    EXPECT_FALSE(commit_output(pending, kNew));
    EXPECT_TRUE(fs::is_directory(dir / "busy" / "inside"));
    EXPECT_EQ(entries(), 1u);
}

TEST_F(SaveOutput, UncommittedOutputRemovesItsTemporary) {
    write_file(path("model.md3"), kOld);
    {
        PendingOutput pending;
        ASSERT_TRUE(open_output(path("model.md3"), pending));
        ASSERT_TRUE(open_output(path("other.md3"), pending));  // reopening drops the first
        EXPECT_EQ(entries(), 2u);
    }
    EXPECT_EQ(entries(), 1u);
    EXPECT_EQ(read_file(path("model.md3")), kOld);
}

// An interrupt in the middle of a save removes the temporary, and the process
// still ends as the signal ends it.
TEST_F(SaveOutput, InterruptRemovesTheTemporary) {
    write_file(path("model.md3"), kOld);
    for (const int signal : {SIGINT, SIGTERM}) {
        const pid_t child = fork();
        if (child == 0) {
            PendingOutput pending;
            if (!open_output(path("model.md3"), pending)) _exit(1);
            remove_on_interrupt(&pending);
            std::raise(signal);
            _exit(2);  // not reached
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(entries(), 1u);
        EXPECT_EQ(read_file(path("model.md3")), kOld);
    }
}
