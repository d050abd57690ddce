// UniqueFd closes its descriptor exactly once, wherever ownership has moved.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

#include "protocol/unique_fd.h"

namespace tivaro {
namespace {

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

struct Pipe {
    int readEnd = -1;
    int writeEnd = -1;
    Pipe() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        readEnd = fds[0];
        writeEnd = fds[1];
    }
};

TEST(UniqueFd, ClosesWhenItGoesAndNotBefore) {
    const Pipe p;
    {
        UniqueFd owner(p.readEnd);
        EXPECT_TRUE(owner.Valid());
        EXPECT_TRUE(isOpen(p.readEnd));
    }
    EXPECT_FALSE(isOpen(p.readEnd));
    ::close(p.writeEnd);
}

TEST(UniqueFd, MovedOwnershipClosesOnceInTheNewOwner) {
    const Pipe p;
    UniqueFd second;
    {
        UniqueFd first(p.readEnd);
        second = std::move(first);
        // The moved-from state is the point here.
        EXPECT_FALSE(first.Valid());  // NOLINT(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
        UniqueFd third(std::move(second));
        EXPECT_FALSE(second.Valid());  // NOLINT(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
        second = std::move(third);
    }
    EXPECT_TRUE(isOpen(p.readEnd));  // neither moved-from owner closed it
    second = UniqueFd(p.writeEnd);   // assignment closes the one held before
    EXPECT_FALSE(isOpen(p.readEnd));
    EXPECT_TRUE(isOpen(p.writeEnd));
    second.Reset();
    EXPECT_FALSE(isOpen(p.writeEnd));
}

TEST(UniqueFd, ReleaseHandsTheDescriptorBackOpen) {
    const Pipe p;
    UniqueFd owner(p.readEnd);
    EXPECT_EQ(owner.Release(), p.readEnd);
    EXPECT_FALSE(owner.Valid());
    owner.Reset();
    EXPECT_TRUE(isOpen(p.readEnd));
    ::close(p.readEnd);
    ::close(p.writeEnd);
}

}  // namespace
}  // namespace tivaro
