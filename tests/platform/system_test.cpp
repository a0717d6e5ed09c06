// The POSIX backend's current directory: the size contract of
// PlatCurrentDirectory for short, exact and long buffers and deep paths.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

class CurrentDirectoryTest : public testing::Test {
protected:
    void SetUp() override {
        home = fs::current_path();
        char pattern[] = "/tmp/flankguard-cwd-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root = pattern;
    }

    void TearDown() override {
        fs::current_path(home);
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // Enters a directory below the temporary root whose absolute path is at
    // least `length` bytes long; returns that path.
    std::string EnterDeep(size_t length) {
        fs::path p = root;
        while (p.string().size() < length) p /= std::string(50, 'd');
        fs::create_directories(p);
        fs::current_path(p);
        return fs::current_path().string();
    }

    fs::path home;
    fs::path root;
};

TEST_F(CurrentDirectoryTest, SizeContractForEveryBufferSize) {
    for (size_t depth : {size_t{0}, size_t{300}, size_t{1500}}) {
        const std::string dir = EnterDeep(depth);
        SCOPED_TRACE(dir.size());
        const size_t needed = dir.size() + 1;

        struct Case {
            const char* what;
            size_t cap;
            size_t result;
        };
        const Case cases[] = {
            {"no buffer", 0, needed},
            {"one byte", 1, needed},
            {"one short of the NUL", needed - 1, needed},
            {"exact", needed, dir.size()},
            {"roomy", needed + 100, dir.size()},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            // Guard bytes after the buffer: nothing may be written there.
            std::vector<char> buf(c.cap + 16, '#');
            EXPECT_EQ(c.result, PlatCurrentDirectory(c.cap ? buf.data() : nullptr, c.cap));
            for (size_t i = c.cap; i < buf.size(); ++i) {
                ASSERT_EQ('#', buf[i]) << "byte " << i;
            }
            if (c.result == dir.size()) {
                EXPECT_STREQ(dir.c_str(), buf.data());
            }
        }
    }
}

TEST_F(CurrentDirectoryTest, RemovedDirectoryGivesZero) {
    const fs::path gone = root / "gone";
    fs::create_directory(gone);
    fs::current_path(gone);
    fs::remove(gone);
    char buf[4096];
    EXPECT_EQ(0u, PlatCurrentDirectory(buf, sizeof buf));
    EXPECT_EQ(0u, PlatCurrentDirectory(nullptr, 0));
    EXPECT_EQ(0u, PlatCurrentDirectory(buf, 1));
}

}  // namespace
