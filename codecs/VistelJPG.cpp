// libjpeg is driven through setjmp/longjmp: a fatal error jumps from deep in
// the library back to the function that created the codec object. Those
// functions (RunDecompress, RunCompress) hold only plain C data; every C++
// object with a destructor lives in the caller, where no jump reaches.
#include "VistelJPG.h"

#include <algorithm>
#include <csetjmp>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include <jerror.h>

#include "Orientation.h"

namespace {

// libjpeg-turbo decodes Huffman data on its fast path only while a whole
// MCU's worst case (512 bytes a block, 3 KiB for 4:2:0) is in the buffer;
// a small buffer would send most MCUs down the slow byte-by-byte path.
constexpr size_t kTransferBytes = 64 * 1024;
// Scanlines handed to libjpeg per call.
constexpr int kRowBatch = 8;
// Legitimate progressive files have a dozen scans; hostile ones can carry
// thousands, each costing a full pass over the coefficients.
constexpr int kMaxScans = 500;

struct jpg_error_mgr {
    jpeg_error_mgr pub;
    jmp_buf setjmp_buffer;
    char* buffer;  // receives the formatted message (the image's szLastError)
};

void ima_jpeg_error_exit(j_common_ptr cinfo)
{
    jpg_error_mgr* err = (jpg_error_mgr*)cinfo->err;
    err->pub.format_message(cinfo, err->buffer);
    longjmp(err->setjmp_buffer, 1);
}

// Progress hook of the decompressor: stops streams with too many scans.
void LimitScans(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor) return;
    if (((j_decompress_ptr)cinfo)->input_scan_number <= kMaxScans) return;
    jpg_error_mgr* err = (jpg_error_mgr*)cinfo->err;
    snprintf(err->buffer, JMSG_LENGTH_MAX, "JPEG stream has more than %d scans", kMaxScans);
    longjmp(err->setjmp_buffer, 1);
}

// Warnings (corrupt data, premature end of stream) are counted by libjpeg
// but not printed: a library has no business writing to stderr.
void IgnoreMessage(j_common_ptr) {}

// Multi-scan streams keep every DCT coefficient of the picture in memory
// while the scans arrive; false when that exceeds the ceiling.
bool CoefficientsFit(j_decompress_ptr cinfo)
{
    if (!jpeg_has_multiple_scans(cinfo)) return true;
    uint64_t total = 0;
    for (int ci = 0; ci < cinfo->num_components; ci++) {
        const jpeg_component_info* comp = &cinfo->comp_info[ci];
        uint64_t blocks;
        if (!vssize::Mul(comp->width_in_blocks + (uint64_t)comp->h_samp_factor,
                         comp->height_in_blocks + (uint64_t)comp->v_samp_factor, &blocks) ||
            !vssize::Mul(blocks, sizeof(JBLOCK), &blocks) || !vssize::Add(total, blocks, &total))
            return false;
    }
    // About the bytes a picture at the ceiling would take as coefficients.
    return total <= vssize::MaxPixels() * 8 && total <= vssize::kMaxBlockBytes;
}

// The fewest bytes of scan data that can code every block: Huffman coding
// spends at least one bit on each block's DC difference, in a sequential
// scan and in a progressive file's first DC scan alike. Arithmetic coding
// may spend less than a bit on a block: no bound for it (0).
uint64_t LeastScanBytes(j_decompress_ptr cinfo)
{
    if (cinfo->arith_code) return 0;
    uint64_t blocks = 0;
    for (int ci = 0; ci < cinfo->num_components; ci++) {
        const jpeg_component_info* comp = &cinfo->comp_info[ci];
        blocks += (uint64_t)comp->width_in_blocks * comp->height_in_blocks;
    }
    return (blocks + 7) / 8;
}

void InitErrorManager(jpg_error_mgr* jerr, char* message)
{
    jpeg_std_error(&jerr->pub);
    jerr->pub.error_exit = ima_jpeg_error_exit;
    jerr->pub.output_message = IgnoreMessage;
    jerr->buffer = message;
}

// No real device comes near this; larger claims are treated as absent.
constexpr float kMaxExifDpi = 1000000.0f;

// DPI from an EXIF resolution and unit length in inches; 0 when unusable.
long ExifDpi(float resolution, float unitInches)
{
    if (resolution == 0 || unitInches == 0) return 0;
    float dpi = resolution / unitInches;
    if (!(dpi >= 1.0f && dpi <= kMaxExifDpi)) return 0;
    return (long)floor(dpi + 0.5f);
}

// DPI from a JFIF density; 0 for unit 0, which states only the aspect ratio.
long JfifDpi(UINT16 density, UINT8 unit)
{
    if (unit == 1) return density;
    if (unit == 2) return (long)floor(density * 2.54 + 0.5);
    return 0;
}

// The segments a JPEG written from the picture carries again: the EXIF
// blocks and the comment the reader kept, as the file stores them.
std::vector<BYTE> CarriedSegments(const VsExifInfo& exif)
{
    std::vector<BYTE> out;
    for (int i = 0; i < exif.GetSectionsRead(); i++) {
        const tag_Section_t* s = exif.GetSection(i);
        out.push_back(0xFF);
        out.push_back((BYTE)s->Type);
        out.insert(out.end(), s->Data, s->Data + s->Size);
    }
    return out;
}

// Writes the carried segments after the JFIF header libjpeg wrote.
void WriteCarriedSegments(j_compress_ptr cinfo, const std::vector<BYTE>& segments)
{
    for (size_t at = 0; at + 4 <= segments.size();) {
        const unsigned length = (unsigned)segments[at + 2] << 8 | segments[at + 3];
        if (length < 2 || at + 2 + length > segments.size()) return;
        jpeg_write_marker(cinfo, segments[at + 1], segments.data() + at + 4, length - 2);
        at += 2 + length;
    }
}

}  // namespace

// ------------------------------------------------------------ stream adapter

class VistelJPG::VsFileJpg : public jpeg_destination_mgr, public jpeg_source_mgr {
public:
    explicit VsFileJpg(VsFile* pFile) : m_pFile(pFile), m_bStartOfFile(true)
    {
        m_pBuffer = (BYTE*)malloc(kTransferBytes);
        init_destination = InitDestination;
        empty_output_buffer = EmptyOutputBuffer;
        term_destination = TermDestination;
        init_source = InitSource;
        fill_input_buffer = FillInputBuffer;
        skip_input_data = SkipInputData;
        resync_to_restart = jpeg_resync_to_restart;
        term_source = TermSource;
        next_input_byte = nullptr;
        bytes_in_buffer = 0;
        next_output_byte = nullptr;
        free_in_buffer = 0;
    }
    ~VsFileJpg() { free(m_pBuffer); }
    VsFileJpg(const VsFileJpg&) = delete;
    VsFileJpg& operator=(const VsFileJpg&) = delete;

    static void InitDestination(j_compress_ptr cinfo)
    {
        VsFileJpg* self = static_cast<VsFileJpg*>(cinfo->dest);
        self->next_output_byte = self->m_pBuffer;
        self->free_in_buffer = kTransferBytes;
    }

    static boolean EmptyOutputBuffer(j_compress_ptr cinfo)
    {
        VsFileJpg* self = static_cast<VsFileJpg*>(cinfo->dest);
        if (self->m_pFile->Write(self->m_pBuffer, 1, kTransferBytes) != kTransferBytes)
            ERREXIT(cinfo, JERR_FILE_WRITE);
        InitDestination(cinfo);
        return TRUE;
    }

    static void TermDestination(j_compress_ptr cinfo)
    {
        VsFileJpg* self = static_cast<VsFileJpg*>(cinfo->dest);
        size_t count = kTransferBytes - self->free_in_buffer;
        if (count > 0 && self->m_pFile->Write(self->m_pBuffer, 1, count) != count)
            ERREXIT(cinfo, JERR_FILE_WRITE);
        self->m_pFile->Flush();
        if (self->m_pFile->Error()) ERREXIT(cinfo, JERR_FILE_WRITE);
    }

    static void InitSource(j_decompress_ptr cinfo)
    {
        static_cast<VsFileJpg*>(cinfo->src)->m_bStartOfFile = true;
    }

    // At the end of the stream an EOI marker is supplied, so that a
    // truncated file ends its decode in order (libjpeg warns about it).
    static boolean FillInputBuffer(j_decompress_ptr cinfo)
    {
        VsFileJpg* self = static_cast<VsFileJpg*>(cinfo->src);
        size_t nbytes = self->m_pFile->Read(self->m_pBuffer, 1, kTransferBytes);
        if (nbytes == 0) {
            if (self->m_bStartOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
            WARNMS(cinfo, JWRN_JPEG_EOF);
            self->m_pBuffer[0] = (JOCTET)0xFF;
            self->m_pBuffer[1] = (JOCTET)JPEG_EOI;
            nbytes = 2;
        }
        self->next_input_byte = self->m_pBuffer;
        self->bytes_in_buffer = nbytes;
        self->m_bStartOfFile = false;
        return TRUE;
    }

    static void SkipInputData(j_decompress_ptr cinfo, long num_bytes)
    {
        if (num_bytes <= 0) return;
        VsFileJpg* self = static_cast<VsFileJpg*>(cinfo->src);
        while (num_bytes > (long)self->bytes_in_buffer) {
            num_bytes -= (long)self->bytes_in_buffer;
            FillInputBuffer(cinfo);
        }
        self->next_input_byte += num_bytes;
        self->bytes_in_buffer -= num_bytes;
    }

    static void TermSource(j_decompress_ptr) {}

    VsFile* m_pFile;
    BYTE* m_pBuffer;
    bool m_bStartOfFile;
};

// ------------------------------------------------------------ object

VistelJPG::VistelJPG()
    : Vistel(VISTEL_FORMAT_JPG),
      m_exif(nullptr),
      m_nPredictor(0),
      m_nPointTransform(0),
      m_nSmoothing(10),
      m_nQuantize(0),
      m_nDither(JDITHER_FS)
{
    memset(&m_exifinfo, 0, sizeof(m_exifinfo));
}

VistelJPG::~VistelJPG()
{
    delete m_exif;
}

bool VistelJPG::DecodeExif(VsFile* hFile)
{
    delete m_exif;
    // A record left from an earlier file must not speak for this one.
    memset(&m_exifinfo, 0, sizeof(m_exifinfo));
    m_exif = new (std::nothrow) VsExifInfo(&m_exifinfo);
    if (!m_exif) return false;
    long pos = hFile->Tell();
    m_exif->DecodeExif(hFile);
    hFile->Seek(pos, SEEK_SET);
    return m_exifinfo.IsExif;
}

bool VistelJPG::CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info)
{
    if (!buffer || !basic_info) return false;
    VsMemFile file(buffer, size);
    VistelJPG probe;
    probe.SetEscape(-1);
    if (!probe.Decode(&file)) return false;
    basic_info->format = VISTEL_FORMAT_JPG;
    basic_info->width = (int32_t)probe.GetWidth();
    basic_info->height = (int32_t)probe.GetHeight();
    basic_info->leastBytes = probe.leastBytes_;
    return true;
}

bool VistelJPG::Describe(const BYTE* data, size_t size, PictureFacts* facts)
{
    if (!data || size < 3 || memcmp(data, "\xFF\xD8\xFF", 3) != 0) return false;
    *facts = PictureFacts();
    VsMemFile file(const_cast<BYTE*>(data), (DWORD)std::min<size_t>(size, 0xFFFFFFFFu));
    VistelJPG reader;
    reader.SetEscape(-1);
    reader.m_facts = facts;
    if (!reader.Decode(&file)) return false;
    facts->format = VISTEL_FORMAT_JPG;
    facts->width = (int)reader.GetWidth();
    facts->height = (int)reader.GetHeight();
    facts->hasExif = reader.m_exifinfo.IsExif || reader.m_exifinfo.Orientation != 0;
    if (facts->hasExif) {
        facts->exif = reader.m_exifinfo;
        facts->exif.ThumbnailPointer = nullptr;
    }
    return true;
}

// ------------------------------------------------------------ decoding

bool VistelJPG::Decode(VsFile* hFile)
{
    if (!hFile) {
        SetLastError("null file handler");
        return false;
    }
    bool bHasExif = DecodeExif(hFile);

    // Pixels go into a work image that replaces this one only on success,
    // so a failed decode leaves the image as it was.
    VsFileJpg* src = new (std::nothrow) VsFileJpg(hFile);
    VistelJPG* work = nullptr;
    if (src && src->m_pBuffer && info.nEscape != -1) {
        work = new (std::nothrow) VistelJPG();
        if (work) work->info = info;
    }
    bool ok = false;
    if (!src || !src->m_pBuffer || (info.nEscape != -1 && !work))
        SetLastError("Could not allocate memory");
    else
        ok = RunDecompress(src, work, bHasExif);
    delete src;

    // An orientation read before a later fault in the EXIF block still holds.
    const int orientation =
        (GetCodecOption(VISTEL_FORMAT_JPG) & JPG_OPT_UPRIGHT) ? m_exifinfo.Orientation : 1;
    if (ok && work && !TurnUpright(*work, orientation)) {
        SetLastError(work->GetLastError());
        ok = false;
    }
    if (ok && work) {
        work->info.szLastError[0] = '\0';
        if (m_exif) work->SetJpegSegments(CarriedSegments(*m_exif));
        Transfer(*work);
    } else if (ok && OrientationSwapsSides(orientation)) {
        std::swap(head.biWidth, head.biHeight);
    }
    delete work;
    return ok;
}

void VistelJPG::ApplyDecodeOptions(j_decompress_ptr cinfo)
{
    DWORD opt = GetCodecOption(VISTEL_FORMAT_JPG);
    if (opt & JPG_OPT_GREY_DECODE) cinfo->out_color_space = JCS_GRAYSCALE;
    if (opt & JPG_OPT_QUANTIZE) {
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = GetJpegQuality();
    }
    if (opt & JPG_OPT_DITHER) cinfo->dither_mode = m_nDither;
    if (opt & JPG_OPT_ONE_PASS) cinfo->two_pass_quantize = FALSE;
    if (opt & JPG_OPT_NO_SMOOTH_UPSAMPLING) cinfo->do_fancy_upsampling = FALSE;
    cinfo->scale_num = 1;
    // A scale of 0 means full size.
    cinfo->scale_denom = GetJpegScale() ? GetJpegScale() : 1;
    // Colour rows are delivered in the DIB's blue-green-red order directly.
    if (!cinfo->quantize_colors && cinfo->out_color_space == JCS_RGB)
        cinfo->out_color_space = JCS_EXT_BGR;
}

bool VistelJPG::StoredDpi(j_decompress_ptr cinfo, bool bHasExif, long* x, long* y) const
{
    // The JFIF header's density, as most readers take it; EXIF for what it
    // leaves out. A JPEG written from the picture states the same in both.
    *x = cinfo->saw_JFIF_marker ? JfifDpi(cinfo->X_density, cinfo->density_unit) : 0;
    *y = cinfo->saw_JFIF_marker ? JfifDpi(cinfo->Y_density, cinfo->density_unit) : 0;
    if (bHasExif) {
        if (!*x) *x = ExifDpi(m_exifinfo.Xresolution, m_exifinfo.ResolutionUnit);
        if (!*y) *y = ExifDpi(m_exifinfo.Yresolution, m_exifinfo.ResolutionUnit);
    }
    return *x || *y;
}

void VistelJPG::SetDecodedPalette(j_decompress_ptr cinfo, VistelJPG* work)
{
    if (cinfo->quantize_colors) {
        // Indices point into libjpeg's colour map (one array per output
        // component); entries past its end stay black.
        int last = cinfo->out_color_components - 1;
        if (last > 2) last = 2;
        work->SetPalette((DWORD)cinfo->actual_number_of_colors, cinfo->colormap[0],
                         cinfo->colormap[last < 1 ? 0 : 1], cinfo->colormap[last]);
    } else if (cinfo->out_color_space == JCS_GRAYSCALE) {
        work->SetGrayPalette();
    }
}

bool VistelJPG::RunDecompress(VsFileJpg* src, VistelJPG* work, bool bHasExif)
{
    jpeg_decompress_struct cinfo;
    jpg_error_mgr jerr;
    jpeg_progress_mgr progress;
    memset(&cinfo, 0, sizeof(cinfo));
    memset(&progress, 0, sizeof(progress));
    cinfo.err = &jerr.pub;
    InitErrorManager(&jerr, info.szLastError);
    if (setjmp(jerr.setjmp_buffer)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }

    jpeg_create_decompress(&cinfo);
    cinfo.src = src;
    cinfo.mem->max_memory_to_use = (long)vssize::kMaxBlockBytes;
    progress.progress_monitor = LimitScans;
    cinfo.progress = &progress;

    jpeg_read_header(&cinfo, TRUE);
    ApplyDecodeOptions(&cinfo);
    jpeg_calc_output_dimensions(&cinfo);

    const DWORD width = cinfo.output_width;
    const DWORD height = cinfo.output_height;
    const int comps = cinfo.output_components;
    const DWORD bpp = comps == 1 ? 8 : 24;
    uint64_t imageBytes;
    const bool fits = vssize::ImageBytes(width, height, bpp, &imageBytes) && CoefficientsFit(&cinfo);
    // The scan data starts where libjpeg has read to. A file cut short ends
    // in grey, but one too short to code every block is no picture: it is
    // refused before anything is allocated. A header-only read may see only
    // a file's first bytes; leastBytes_ tells whoever knows the whole length.
    const long scanStart = src->m_pFile->Tell() - (long)src->bytes_in_buffer;
    const long size = src->m_pFile->Size();
    const uint64_t leastScan = LeastScanBytes(&cinfo);
    leastBytes_ = (uint64_t)scanStart + leastScan;
    if (work && fits && size >= scanStart && (uint64_t)(size - scanStart) < leastScan) {
        SetLastError("the image data cannot fill the image");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (!work) {
        // Header only: the (scaled) size a decode makes, 0 x 0 when it would
        // refuse the size; no pixels.
        Destroy();
        head.biWidth = fits ? (int32_t)width : 0;
        head.biHeight = fits ? (int32_t)height : 0;
        if (m_facts) {
            m_facts->depth = 8 * cinfo.num_components;
            m_facts->progressive = cinfo.progressive_mode != 0;
            if (!StoredDpi(&cinfo, bHasExif, &m_facts->xDpi, &m_facts->yDpi))
                m_facts->xDpi = m_facts->yDpi = 0;
        }
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    if (!fits) {
        SetLastError(vssize::kTooLarge);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }

    jpeg_start_decompress(&cinfo);
    if (!work->Create(width, height, bpp, VISTEL_FORMAT_JPG)) {
        SetLastError(work->GetLastError());
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    long xDpi, yDpi;
    if (StoredDpi(&cinfo, bHasExif, &xDpi, &yDpi)) {
        if (xDpi) work->SetXDPI(xDpi);
        if (yDpi) work->SetYDPI(yDpi);
    }
    SetDecodedPalette(&cinfo, work);

    const DWORD effWidth = work->GetEffWidth();
    BYTE* top = work->GetBits(height - 1);
    // Rows that are already in DIB layout (grey, palette indices, BGR) are
    // decoded in place; CMYK and unusual component counts go through a
    // sample row.
    const bool direct = comps == 1 || cinfo.out_color_space == JCS_EXT_BGR;
    JSAMPARRAY sample = nullptr;
    if (!direct)
        sample = (*cinfo.mem->alloc_sarray)((j_common_ptr)&cinfo, JPOOL_IMAGE,
                                           width * (JDIMENSION)comps, 1);

    while (cinfo.output_scanline < height) {
        if (info.nEscape) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        const DWORD line = cinfo.output_scanline;
        if (direct) {
            JSAMPROW rows[kRowBatch];
            int n = 0;
            for (; n < kRowBatch && line + n < height; n++) rows[n] = top - (size_t)effWidth * (line + n);
            jpeg_read_scanlines(&cinfo, rows, (JDIMENSION)n);
            continue;
        }
        jpeg_read_scanlines(&cinfo, sample, 1);
        BYTE* dst = top - (size_t)effWidth * line;
        const BYTE* s = sample[0];
        if (comps == 4) {
            for (DWORD x = 0; x < width; x++, s += 4, dst += 3) {
                unsigned k = s[3];
                dst[0] = (BYTE)(k * s[2] / 255);
                dst[1] = (BYTE)(k * s[1] / 255);
                dst[2] = (BYTE)(k * s[0] / 255);
            }
        } else {
            size_t n = (size_t)width * comps;
            memcpy(dst, s, n < effWidth ? n : effWidth);
        }
    }

    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// ------------------------------------------------------------ encoding

bool VistelJPG::Encode(VsFile* hFile)
{
    if (EncodeSafeCheck(hFile)) return false;
    // Only 24-bit colour and the 8-bit identity grey ramp map onto JPEG
    // samples; other palette images would be read as the wrong row layout.
    const bool bGrey = head.biClrUsed != 0;
    if ((bGrey && (GetBpp() != 8 || !IsGrayScale())) || (!bGrey && GetBpp() != 24)) {
        SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    VsFileJpg* dst = new (std::nothrow) VsFileJpg(hFile);
    bool ok = false;
    if (!dst || !dst->m_pBuffer)
        SetLastError("Could not allocate memory");
    else
        ok = RunCompress(dst, bGrey);
    delete dst;
    return ok;
}

void VistelJPG::ApplyEncodeOptions(j_compress_ptr cinfo)
{
    DWORD opt = GetCodecOption(VISTEL_FORMAT_JPG);
    if (opt & JPG_OPT_ARITHMETIC) cinfo->arith_code = TRUE;
    if (opt & JPG_OPT_OPTIMIZE) cinfo->optimize_coding = TRUE;
    if (opt & JPG_OPT_GREY_OUTPUT) jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
    if (opt & JPG_OPT_SMOOTHING) cinfo->smoothing_factor = (int)m_nSmoothing;
    jpeg_set_quality(cinfo, GetJpegQuality(), (opt & JPG_OPT_BASELINE) ? TRUE : FALSE);
    if (opt & JPG_OPT_PROGRESSIVE) jpeg_simple_progression(cinfo);
}

bool VistelJPG::RunCompress(VsFileJpg* dst, bool bGrey)
{
    jpeg_compress_struct cinfo;
    jpg_error_mgr jerr;
    memset(&cinfo, 0, sizeof(cinfo));
    cinfo.err = &jerr.pub;
    InitErrorManager(&jerr, info.szLastError);
    if (setjmp(jerr.setjmp_buffer)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }

    jpeg_create_compress(&cinfo);
    cinfo.dest = dst;
    cinfo.image_width = GetWidth();
    cinfo.image_height = GetHeight();
    // DIB rows go to libjpeg as they are: grey bytes or blue-green-red.
    cinfo.input_components = bGrey ? 1 : 3;
    cinfo.in_color_space = bGrey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    ApplyEncodeOptions(&cinfo);

    // The resolution in dots per inch when the picture has one (an axis
    // without one takes the other's); else libjpeg's aspect ratio 1:1.
    cinfo.write_JFIF_header = TRUE;
    const long x = GetXDPI() ? GetXDPI() : GetYDPI();
    const long y = GetYDPI() ? GetYDPI() : GetXDPI();
    if (x) {
        cinfo.density_unit = 1;
        cinfo.X_density = (UINT16)(x > 65535 ? 65535 : x);
        cinfo.Y_density = (UINT16)(y > 65535 ? 65535 : y);
    }

    jpeg_start_compress(&cinfo, TRUE);
    WriteCarriedSegments(&cinfo, GetJpegSegments());
    const DWORD height = GetHeight();
    const DWORD effWidth = GetEffWidth();
    BYTE* top = GetBits(height - 1);
    while (cinfo.next_scanline < height) {
        JSAMPROW rows[kRowBatch];
        const DWORD line = cinfo.next_scanline;
        int n = 0;
        for (; n < kRowBatch && line + n < height; n++) rows[n] = top - (size_t)effWidth * (line + n);
        jpeg_write_scanlines(&cinfo, rows, (JDIMENSION)n);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}
