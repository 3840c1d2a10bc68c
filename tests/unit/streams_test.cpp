// Byte streams at the ends of data, memory growth and buffer ownership.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "VsFile.h"

TEST(MemFile, ReadsAndSeeksWithinACallersBuffer)
{
    BYTE data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    VsMemFile f(data, 10);
    EXPECT_FALSE(f.Open());  // a buffer is attached already
    BYTE buf[12];
    EXPECT_EQ(f.Read(buf, 4, 3), 2u);
    EXPECT_EQ(f.Tell(), 10);
    EXPECT_EQ(buf[9], 9);
    EXPECT_EQ(f.Read(buf, 1, 1), 0u);
    EXPECT_EQ(f.GetC(), -1);
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.Error(), 0);
    EXPECT_EQ(f.Read(nullptr, 1, 1), 0u);

    EXPECT_TRUE(f.Seek(-5, SEEK_SET));  // clamped at the start
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_FALSE(f.Seek(0, 7));
    EXPECT_TRUE(f.Seek(-2, SEEK_END));
    EXPECT_EQ(f.GetC(), 8);
    EXPECT_EQ(f.Tell(), 9);
    // A position beyond 4 GiB must not wrap to a small one.
    ASSERT_TRUE(f.Seek(0x100000001L, SEEK_SET));
    EXPECT_EQ(f.Read(buf, 1, 1), 0u);
    EXPECT_EQ(f.GetC(), -1);
}

TEST(MemFile, WritingPastTheEndExtendsTheStream)
{
    VsMemFile f;
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.Seek(20, SEEK_SET));
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.Error(), 1);
    EXPECT_EQ(f.Write("abc", 1, 3), 3u);
    EXPECT_EQ(f.Size(), 23);
}

TEST(MemFile, GrowsInPagesAndAtLeastDoubles)
{
    VsMemFile f;
    ASSERT_TRUE(f.Open());
    std::vector<BYTE> block(5000, 7);
    EXPECT_EQ(f.Write(block.data(), 1, block.size()), block.size());
    EXPECT_EQ(f.Size(), 5000);
    struct Peek : VsMemFile {
        static long Edge(VsMemFile& m) { return static_cast<Peek&>(m).m_Edge; }
    };
    EXPECT_EQ(Peek::Edge(f), 8192);
    // One byte past the capacity doubles it.
    f.Seek(8192, SEEK_SET);
    EXPECT_TRUE(f.PutC(1));
    EXPECT_EQ(Peek::Edge(f), 16384);
    // A write larger than the doubled capacity gets the next page above it.
    EXPECT_EQ(f.Write(std::vector<BYTE>(40000).data(), 1, 40000), 40000u);
    EXPECT_EQ(Peek::Edge(f), 49152);
    // Explicit reservations stay exact.
    VsMemFile g;
    ASSERT_TRUE(g.Open());
    ASSERT_TRUE(g.Alloc(100000));
    EXPECT_EQ(Peek::Edge(g), 102400);
}

TEST(MemFile, AWriteThatCannotFitChangesNothing)
{
    VsMemFile f;
    ASSERT_TRUE(f.Open());
    f.Write("xy", 1, 2);
    ASSERT_TRUE(f.Seek(0x7FFFF000, SEEK_SET));
    EXPECT_EQ(f.Write("abcdefgh", 1, 8192), 0u);
    EXPECT_EQ(f.Size(), 2);
    // Item counts whose byte total overflows are refused too.
    EXPECT_EQ(f.Write("a", (size_t)1 << 40, (size_t)1 << 40), 0u);
    EXPECT_EQ(f.Size(), 2);
}

TEST(MemFile, DetachedBufferOutlivesTheStream)
{
    BYTE* buf;
    long size;
    {
        VsMemFile f;
        ASSERT_TRUE(f.Open());
        f.Write("hello", 1, 5);
        buf = f.GetBuffer(true);
        size = f.Size();
    }
    ASSERT_EQ(size, 5);
    EXPECT_EQ(0, memcmp(buf, "hello", 5));
    free(buf);
}

TEST(MemFile, AStreamOverACallersBufferNeverFreesIt)
{
    // Writing into the caller's buffer in place and looking at it again
    // must leave the buffer the caller's (a free here would be a double
    // free under the sanitizers when the caller frees it).
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
        EXPECT_EQ(f.Tell(), 3);
        EXPECT_EQ(f.GetC(), '3');
        EXPECT_TRUE(f.Close());
    }
    // Still open: the stream did not close it.
    EXPECT_EQ(fgetc(fp), '4');
    fclose(fp);
}

TEST(Streams, WithoutABufferOrFileEverythingFails)
{
    VsMemFile m;
    VsIOFile f;
    for (VsFile* s : {(VsFile*)&m, (VsFile*)&f}) {
        EXPECT_EQ(s->Size(), -1);
        EXPECT_EQ(s->Error(), -1);
        EXPECT_TRUE(s->Eof());
        EXPECT_EQ(s->GetC(), -1);
        EXPECT_FALSE(s->PutC(1));
        BYTE b;
        EXPECT_EQ(s->Read(&b, 1, 1), 0u);
    }
    EXPECT_EQ(m.Tell(), -1);
    EXPECT_FALSE(m.Seek(0, SEEK_SET));
    EXPECT_FALSE(m.Flush());
}
