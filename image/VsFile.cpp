#include "VsFile.h"

#include <cstdlib>
#include <cstring>

bool VsFile::PutC(unsigned char c)
{
    return Write(&c, 1, 1) == 1;
}

// ---------------------------------------------------------------- VsIOFile

VsIOFile::VsIOFile(FILE* fp) : m_fp(fp), m_bCloseFile(fp == nullptr) {}

VsIOFile::~VsIOFile()
{
    Close();
}

bool VsIOFile::Close()
{
    if (!m_fp) return true;
    if (!m_bCloseFile) return true;
    int rc = fclose(m_fp);
    m_fp = nullptr;
    return rc == 0;
}

size_t VsIOFile::Read(void* buffer, size_t size, size_t count)
{
    return m_fp ? fread(buffer, size, count, m_fp) : 0;
}

size_t VsIOFile::Write(const void* buffer, size_t size, size_t count)
{
    return m_fp ? fwrite(buffer, size, count, m_fp) : 0;
}

bool VsIOFile::Seek(long offset, int origin)
{
    return m_fp && fseek(m_fp, offset, origin) == 0;
}

long VsIOFile::Tell()
{
    return m_fp ? ftell(m_fp) : 0;
}

long VsIOFile::Size()
{
    if (!m_fp) return -1;
    long pos = ftell(m_fp);
    fseek(m_fp, 0, SEEK_END);
    long size = ftell(m_fp);
    fseek(m_fp, pos, SEEK_SET);
    return size;
}

bool VsIOFile::Flush()
{
    return m_fp && fflush(m_fp) == 0;
}

bool VsIOFile::Eof()
{
    return m_fp ? feof(m_fp) != 0 : true;
}

long VsIOFile::Error()
{
    return m_fp ? ferror(m_fp) : -1;
}

bool VsIOFile::PutC(unsigned char c)
{
    return m_fp && fputc(c, m_fp) == (int)c;
}

long VsIOFile::GetC()
{
    return m_fp ? getc(m_fp) : -1;
}

// --------------------------------------------------------------- VsMemFile

VsMemFile::VsMemFile(BYTE* pBuffer, DWORD size)
    : m_pBuffer(pBuffer),
      m_Size(size),
      m_bFreeOnClose(pBuffer == nullptr),
      m_Position(0),
      m_Edge(size)
{
}

VsMemFile::~VsMemFile()
{
    Close();
}

bool VsMemFile::Open()
{
    if (m_pBuffer) return false;
    m_Position = 0;
    m_Size = 0;
    m_Edge = 0;
    m_pBuffer = (BYTE*)malloc(1);
    m_bFreeOnClose = true;
    return m_pBuffer != nullptr;
}

BYTE* VsMemFile::GetBuffer(bool bDetachBuffer)
{
    // Detaching hands the buffer over; keeping it leaves ownership as it
    // was, so a stream over a caller's buffer never comes to free it.
    if (bDetachBuffer) m_bFreeOnClose = false;
    return m_pBuffer;
}

bool VsMemFile::Close()
{
    if (m_pBuffer && m_bFreeOnClose) {
        free(m_pBuffer);
        m_pBuffer = nullptr;
        m_Size = 0;
    }
    return true;
}

size_t VsMemFile::Read(void* buffer, size_t size, size_t count)
{
    if (!buffer || !m_pBuffer || size == 0 || count == 0) return 0;
    if (m_Position < 0 || (uint64_t)m_Position >= m_Size) return 0;
    if (count > SIZE_MAX / size) return 0;
    size_t wanted = size * count;
    size_t left = m_Size - (DWORD)m_Position;
    size_t n = wanted < left ? wanted : left;
    memcpy(buffer, m_pBuffer + m_Position, n);
    m_Position += (long)n;
    return n / size;
}

size_t VsMemFile::Write(const void* buffer, size_t size, size_t count)
{
    if (!m_pBuffer || !buffer || size == 0 || count == 0) return 0;
    if (count > SIZE_MAX / size) return 0;
    uint64_t n = (uint64_t)size * count;
    // Sizes are 32-bit: a write whose end would not fit fails whole.
    uint64_t end = (uint64_t)m_Position + n;
    if (end > 0x7FFFFFFFu - 4096u) return 0;
    if ((long)end > m_Edge && !Grow(end)) return 0;
    memcpy(m_pBuffer + m_Position, buffer, (size_t)n);
    m_Position = (long)end;
    if ((DWORD)m_Position > m_Size) m_Size = (DWORD)m_Position;
    return count;
}

bool VsMemFile::Seek(long offset, int origin)
{
    if (!m_pBuffer) return false;
    long base;
    switch (origin) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = m_Position; break;
    case SEEK_END: base = (long)m_Size; break;
    default: return false;
    }
    long pos = base + offset;
    m_Position = pos < 0 ? 0 : pos;
    return true;
}

long VsMemFile::Tell()
{
    return m_pBuffer ? m_Position : -1;
}

long VsMemFile::Size()
{
    return m_pBuffer ? (long)m_Size : -1;
}

bool VsMemFile::Flush()
{
    return m_pBuffer != nullptr;
}

bool VsMemFile::Eof()
{
    return !m_pBuffer || m_Position >= (long)m_Size;
}

long VsMemFile::Error()
{
    if (!m_pBuffer) return -1;
    return m_Position > (long)m_Size ? 1 : 0;
}

bool VsMemFile::PutC(unsigned char c)
{
    if (!m_pBuffer) return false;
    return Write(&c, 1, 1) == 1;
}

long VsMemFile::GetC()
{
    if (Eof()) return -1;
    return m_pBuffer[m_Position++];
}

bool VsMemFile::Alloc(DWORD dwNewLen)
{
    if ((long)dwNewLen <= m_Edge) return true;
    uint64_t capacity = ((uint64_t)dwNewLen / 4096) * 4096 + 4096;
    if (capacity > 0x7FFFFFFFu) return false;
    BYTE* grown = (BYTE*)realloc(m_pBuffer, (size_t)capacity);
    if (!grown) return false;
    m_pBuffer = grown;
    m_Edge = (long)capacity;
    m_bFreeOnClose = true;
    return true;
}

bool VsMemFile::Grow(uint64_t needed)
{
    // At least doubling keeps a long run of small writes (an encoder's
    // output) linear in time: growing by fixed steps copied the whole
    // buffer once per step. Alloc rounds strictly above its argument, so
    // one byte less than twice the capacity asks for exactly twice.
    const uint64_t doubled = (uint64_t)m_Edge * 2;
    if (doubled > needed && doubled <= 0x7FFFFFFFu - 4096u && Alloc((DWORD)(doubled - 1)))
        return true;
    return Alloc((DWORD)needed);
}

void VsMemFile::Free()
{
    Close();
}
