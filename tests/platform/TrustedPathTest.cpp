#include "platform/TrustedPath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

using Verdict = platform::LibraryCheck::Verdict;

class TrustedPathTest : public testing::TestEnvironment {};

// A library is loaded only when nobody but root or the user could have put it there:
// neither the file nor any folder above it may be writable by others (a sticky folder
// such as /tmp excepted) or belong to a third user.
TEST_F(TrustedPathTest, RefusesWhatOthersCouldHaveWritten) {
    struct Case {
        const char* what;
        mode_t fileMode, folderMode;
        uid_t owner;  // of the file; 0 stands for the test's own user
        Verdict expected;
        const char* reasonHas;
    };
    const uid_t someoneElse = 4242;
    const Case cases[] = {
        {"private file and folder", 0644, 0755, 0, Verdict::Trusted, ""},
        {"group may write the file", 0664, 0755, 0, Verdict::Refused, "changed by its group"},
        {"others may write the file", 0646, 0755, 0, Verdict::Refused, "changed by any user"},
        {"group may write the folder", 0644, 0775, 0, Verdict::Refused, "changed by its group"},
        {"others may write the folder", 0644, 0777, 0, Verdict::Refused, "changed by any user"},
        {"a sticky folder anyone may write", 0644, 01777, 0, Verdict::Trusted, ""},
        {"the file belongs to a third user", 0644, 0755, someoneElse, Verdict::Refused,
         "belongs to user 4242"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::path folder = root / "modules";
        std::filesystem::remove_all(folder);
        std::filesystem::create_directory(folder);
        std::filesystem::path library = folder / "module.so";
        std::ofstream(library) << "not really a library";
        ASSERT_EQ(::chmod(library.c_str(), c.fileMode), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
        if (c.owner != 0 && ::chown(library.c_str(), c.owner, static_cast<gid_t>(-1)) != 0) {
            std::cout << "[ SKIPPED  ] " << c.what << ": only root can give a file away\n";
            continue;
        }
        platform::LibraryCheck check = platform::trustedLibraryPath(library.string());
        EXPECT_EQ(check.verdict, c.expected) << check.reason;
        EXPECT_NE(check.reason.find(c.reasonHas), std::string::npos) << check.reason;
        EXPECT_EQ(check.path.empty(), c.expected != Verdict::Trusted);
    }
}

// A link is followed: what is checked, and loaded, is the file it leads to.
TEST_F(TrustedPathTest, FollowsLinksAndTellsMissingFromRefused) {
    std::filesystem::path real = root / "real.so";
    std::ofstream(real) << "x";
    ::chmod(real.c_str(), 0644);
    std::filesystem::create_symlink(real, root / "link.so");
    platform::LibraryCheck linked = platform::trustedLibraryPath((root / "link.so").string());
    EXPECT_EQ(linked.verdict, Verdict::Trusted) << linked.reason;
    EXPECT_EQ(linked.path, std::filesystem::canonical(real).string());

    EXPECT_EQ(platform::trustedLibraryPath((root / "absent.so").string()).verdict,
              Verdict::Missing);
    EXPECT_EQ(platform::trustedLibraryPath("relative/module.so").verdict, Verdict::Refused);
    EXPECT_EQ(platform::trustedLibraryPath(root.string()).verdict, Verdict::Refused);
}

}  // namespace
}  // namespace trellybridge
