// Byte streams through which every codec reads and writes: the abstract
// VsFile, VsIOFile over a stdio FILE*, and VsMemFile, a growable memory
// buffer (capacity a multiple of 4096 bytes, at least doubled when a write
// needs more).
#ifndef VISTEL_VSFILE_H
#define VISTEL_VSFILE_H

#include <cstdio>
#include "VsTypes.h"

class VsFile {
public:
    virtual ~VsFile() {}
    virtual bool Close() = 0;
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    virtual bool Seek(long offset, int origin) = 0;
    virtual long Tell() = 0;
    virtual long Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual long Error() = 0;
    virtual bool PutC(unsigned char c);
    virtual long GetC() = 0;
};

class VsIOFile : public VsFile {
public:
    // With a null fp the object owns whatever stream it later holds and
    // closes it; a caller's fp is never closed.
    explicit VsIOFile(FILE* fp = nullptr);
    ~VsIOFile() override;

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(long offset, int origin) override;
    long Tell() override;
    long Size() override;
    bool Flush() override;
    bool Eof() override;
    long Error() override;
    bool PutC(unsigned char c) override;
    long GetC() override;

protected:
    FILE* m_fp;
    bool m_bCloseFile;
};

class VsMemFile : public VsFile {
public:
    // Reads a caller's buffer in place without owning it; (nullptr, 0)
    // followed by Open() makes an output stream.
    explicit VsMemFile(BYTE* pBuffer = nullptr, DWORD size = 0);
    ~VsMemFile() override;

    bool Open();
    // Hands the buffer to the caller (who frees it with free()) when
    // bDetachBuffer is true; otherwise the stream owns it.
    BYTE* GetBuffer(bool bDetachBuffer = true);

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(long offset, int origin) override;
    long Tell() override;
    long Size() override;
    bool Flush() override;
    bool Eof() override;
    long Error() override;
    bool PutC(unsigned char c) override;
    long GetC() override;

    // Grows the capacity to the next multiple of 4096 strictly above
    // dwNewLen; false (and nothing changed) when that cannot be done.
    bool Alloc(DWORD dwNewLen);
    void Free();

protected:
    // Makes room for `needed` bytes on behalf of a write.
    bool Grow(uint64_t needed);

    BYTE* m_pBuffer;
    DWORD m_Size;
    bool m_bFreeOnClose;
    long m_Position;
    long m_Edge;
};

#endif
