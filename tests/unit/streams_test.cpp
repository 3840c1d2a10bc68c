// Byte streams at the ends of their data, sizes that overflow, and buffer
// and file ownership (the sanitizer build reports a double free or a leak).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "VsFile.h"

TEST(MemFile, ReadsAndSeeksStayInsideTheBuffer)
{
    BYTE data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    VsMemFile f(data, 10);
    EXPECT_FALSE(f.Open());  // a buffer is attached already
    BYTE buf[12];
    EXPECT_EQ(f.Read(buf, 4, 3), 2u);  // whole items only
    EXPECT_EQ(f.Tell(), 10);
    EXPECT_EQ(f.Read(buf, 1, 1), 0u);
    EXPECT_EQ(f.GetC(), -1);
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.Read(nullptr, 1, 1), 0u);
    EXPECT_TRUE(f.Seek(-5, SEEK_SET));  // clamped at the start
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_FALSE(f.Seek(0, 7));
    EXPECT_TRUE(f.Seek(-2, SEEK_END));
    EXPECT_EQ(f.GetC(), 8);
    // A position beyond 4 GiB must not wrap to a small one.
    ASSERT_TRUE(f.Seek(0x100000001L, SEEK_SET));
    EXPECT_EQ(f.Read(buf, 1, 1), 0u);
    EXPECT_EQ(f.GetC(), -1);
}

TEST(MemFile, WritesExtendTheStreamOrChangeNothing)
{
    VsMemFile f;
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.Seek(20, SEEK_SET));
    EXPECT_EQ(f.Write("abc", 1, 3), 3u);
    EXPECT_EQ(f.Size(), 23);
    // A write that cannot fit, or whose byte total overflows, is refused.
    ASSERT_TRUE(f.Seek(0x7FFFF000, SEEK_SET));
    EXPECT_EQ(f.Write("abcdefgh", 1, 8192), 0u);
    EXPECT_EQ(f.Write("a", (size_t)1 << 40, (size_t)1 << 40), 0u);
    EXPECT_EQ(f.Size(), 23);
}

TEST(MemFile, BufferOwnership)
{
    BYTE* detached;
    {
        VsMemFile f;
        ASSERT_TRUE(f.Open());
        f.Write("hello", 1, 5);
        detached = f.GetBuffer(true);  // outlives the stream
    }
    EXPECT_EQ(0, memcmp(detached, "hello", 5));
    free(detached);
    // A stream over the caller's buffer writes in place and never frees it.
    BYTE* data = (BYTE*)malloc(8);
    {
        VsMemFile f(data, 8);
        EXPECT_EQ(f.Write("abcd", 1, 4), 4u);
        EXPECT_EQ(f.GetBuffer(false), data);
        f.Close();
    }
    EXPECT_EQ(0, memcmp(data, "abcd", 4));
    free(data);
}

TEST(IOFile, NeverClosesACallersFileAndKeepsThePosition)
{
    FILE* fp = tmpfile();
    ASSERT_NE(fp, nullptr);
    fputs("0123456789", fp);
    fseek(fp, 3, SEEK_SET);
    {
        VsIOFile f(fp);
        EXPECT_EQ(f.Size(), 10);
        EXPECT_EQ(f.GetC(), '3');
        EXPECT_TRUE(f.Close());
    }
    EXPECT_EQ(fgetc(fp), '4');  // still open
    fclose(fp);
}
