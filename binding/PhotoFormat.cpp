#include "PhotoFormat.h"

#include "TkVistel.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "PixelMemory.h"
#include "Quantize.h"
#include "Vistel.h"

namespace {

// Decoders tried on data handed to a read, in this order.
const DWORD ReadOrder[] = {VISTEL_FORMAT_GIF, VISTEL_FORMAT_PNG, VISTEL_FORMAT_JPG,
                           VISTEL_FORMAT_TGA, VISTEL_FORMAT_BMP};

// What has been read of a channel: by its match, the first bytes, enough
// for every header check; by its read, everything. Tk rewinds the channel
// between its match and read calls and asks the match of each of our
// formats in turn when no format is named, so the bytes are kept for the
// channel they came from, and dropped when it closes, so that a later
// channel at the same address never sees them.
struct ChannelBytes {
    Tcl_Channel chan = nullptr;
    Tcl_WideInt start = 0;  // channel position of the first byte
    BYTE* bytes = nullptr;  // from AllocPixelMemory
    size_t length = 0;
    size_t capacity = 0;
    bool complete = false;  // the bytes reach the end of the channel
};
thread_local ChannelBytes channelBytes;

// Bytes a match reads first; a JPEG header check that needs more (a large
// EXIF block before the frame header) makes the match read everything.
const size_t kMatchPrefix = (size_t)64 << 10;
// Data no decoder could take: lengths are passed on as int.
const size_t kMaxDataBytes = 0x7FFFFFFF;
const size_t kReadSlice = (size_t)1 << 30;

void DropChannelBytes(ClientData)
{
    free(channelBytes.bytes);
    channelBytes = ChannelBytes();
}

void ForgetChannelBytes()
{
    if (channelBytes.chan) Tcl_DeleteCloseHandler(channelBytes.chan, DropChannelBytes, nullptr);
    DropChannelBytes(nullptr);
}

// Bytes a channel has left from its current position, when it can tell
// (files can); -1 otherwise.
Tcl_WideInt RemainingBytes(Tcl_Channel chan)
{
    const Tcl_WideInt here = Tcl_Tell(chan);
    if (here < 0) return -1;
    const Tcl_WideInt end = Tcl_Seek(chan, 0, SEEK_END);
    if (Tcl_Seek(chan, here, SEEK_SET) != here || end < here) return -1;
    return end - here;
}

// Makes room for more of the channel, at most `upTo` bytes in all. A file's
// size is known, so its bytes get one block of that size (plus the byte
// whose absence shows the end); other channels double the block.
bool ReserveChannelBytes(Tcl_Channel chan, ChannelBytes* data, size_t upTo)
{
    const Tcl_WideInt remaining = RemainingBytes(chan);
    // A file longer than any decoder takes is refused before its size is
    // allocated.
    if (remaining >= 0 && (uint64_t)data->length + (uint64_t)remaining > kMaxDataBytes &&
        upTo > kMaxDataBytes)
        return false;
    uint64_t wanted = remaining >= 0 ? (uint64_t)data->length + (uint64_t)remaining + 1
                                     : (uint64_t)(data->capacity ? data->capacity * 2 : 1 << 16);
    if (wanted > upTo) wanted = upTo;
    if (wanted <= data->capacity) wanted = (uint64_t)data->capacity + (1 << 16);
    BYTE* larger = (BYTE*)AllocPixelMemory((size_t)wanted);
    if (!larger) return false;
    if (data->length) memcpy(larger, data->bytes, data->length);
    free(data->bytes);
    data->bytes = larger;
    data->capacity = (size_t)wanted;
    return true;
}

// Reads on until the end of the channel or until `upTo` bytes are held.
// False when reading fails, memory runs out or the data passes what a
// decoder can take.
bool ReadChannelBytes(Tcl_Interp* interp, Tcl_Channel chan, ChannelBytes* data, size_t upTo)
{
    if (data->chan == nullptr) {
        Tcl_SetChannelOption(interp, chan, "-translation", "binary");
        Tcl_SetChannelOption(interp, chan, "-buffersize", "1048576");
        data->chan = chan;
        data->start = Tcl_Tell(chan);
    }
    if (upTo > kMaxDataBytes + 1) upTo = kMaxDataBytes + 1;
    while (!data->complete && data->length < upTo) {
        if (data->length == data->capacity && !ReserveChannelBytes(chan, data, upTo))
            return false;
        // Slices a Tcl_Read length (an int) always holds.
        const size_t room = std::min(std::min(data->capacity, upTo) - data->length, kReadSlice);
        const int got = Tcl_Read(chan, (char*)data->bytes + data->length, (int)room);
        if (got < 0) return false;
        data->length += (size_t)got;
        if (got == 0 || Tcl_Eof(chan)) data->complete = true;
    }
    return data->length <= kMaxDataBytes;
}

// Whether an image's RGBA export carries real alpha: an alpha plane, a
// transparent colour, or a palette whose entries hold alpha (PNG tRNS).
// Other images export alpha bytes that mean nothing and must read as opaque.
bool CarriesAlpha(const Vistel& image)
{
    return image.AlphaIsValid() || image.IsTransparent() ||
           (image.IsIndexed() && image.AlphaPaletteIsEnabled());
}

// A block of `height` rows of `width` RGBA pixels, rows `rowPixels` apart,
// alpha at offset 3.
Tk_PhotoImageBlock RgbaBlock(BYTE* rgba, int width, int height, int rowPixels)
{
    Tk_PhotoImageBlock block;
    memset(&block, 0, sizeof(block));
    block.pixelPtr = rgba;
    block.width = width;
    block.height = height;
    block.pitch = rowPixels * 4;
    block.pixelSize = 4;
    block.offset[0] = 0;
    block.offset[1] = 1;
    block.offset[2] = 2;
    block.offset[3] = 3;
    return block;
}

// Width or height of the part of [src, src + wanted) that lies inside an
// image side of `size` pixels.
int ClipSpan(int src, int wanted, DWORD size)
{
    if (src < 0 || wanted <= 0 || (DWORD)src >= size) return 0;
    DWORD left = size - (DWORD)src;
    return (DWORD)wanted < left ? wanted : (int)left;
}

// Decodes the data with the first reader that takes it. When none does, the
// complaint of the reader whose format the data's header claims (if any)
// goes into the result, so that a damaged file says what is wrong with it.
// Whether only the reader of `format` can take data that its header check
// accepted: GIF, PNG and JPEG start with signatures no other reader takes,
// so trying that reader first gives what the full order would.
bool ClaimIsExclusive(DWORD format)
{
    return format == VISTEL_FORMAT_GIF || format == VISTEL_FORMAT_PNG ||
           format == VISTEL_FORMAT_JPG;
}

bool DecodeAny(Tcl_Interp* interp, BYTE* bytes, int length, Vistel& image)
{
    basic_image_information claimed;
    const bool hasClaim = Vistel::CheckFormat(bytes, (DWORD)length, &claimed) &&
                          claimed.format < CMAX_IMAGE_FORMATS;
    std::string errors[CMAX_IMAGE_FORMATS];
    if (hasClaim && ClaimIsExclusive(claimed.format)) {
        if (image.Decode(bytes, (DWORD)length, claimed.format)) return true;
        errors[claimed.format] = image.GetLastError();
    }
    for (DWORD type : ReadOrder) {
        if (!errors[type].empty()) continue;
        if (image.Decode(bytes, (DWORD)length, type)) return true;
        errors[type] = image.GetLastError();
    }
    const char* reason = "Decode: Unknown or wrong format";
    if (hasClaim && !errors[claimed.format].empty())
        reason = errors[claimed.format].c_str();
    VistelError(interp, reason, "DECODE");
    return false;
}

bool ExportRgba(Tcl_Interp* interp, Vistel& image, BYTE** rgba)
{
    BYTE* buffer = nullptr;
    long size = 0;
    if (!image.Encode2RGBA(buffer, size)) {
        VistelError(interp, image.GetLastError(), "IMAGE");
        return false;
    }
    if (!buffer || (uint64_t)size < (uint64_t)image.GetWidth() * image.GetHeight() * 4) {
        Vistel::FreeMemory(buffer);
        VistelError(interp, "incomplete pixel export", "IMAGE");
        return false;
    }
    *rgba = buffer;
    return true;
}

// Receives an image's RGBA export row by row (top row first) and puts the
// part [srcX, srcX + width) x [srcY, srcY + height) into a photo one row at
// a time, so that no export of the whole image is ever held. One-row puts
// are also what Tk handles best: after a put of several rows that carries
// alpha it scans the whole photo for partial transparency, after a one-row
// put only that row. The rows of an opaque image go in as carrying no
// alpha, which Tk stores as opaque without working out from the alpha
// bytes which pixels are visible. The photo must already be large enough
// for the region: puts inside its size allocate nothing and cannot fail.
class PhotoRowSink : public VsFile {
public:
    PhotoRowSink(Tcl_Interp* interp, Tk_PhotoHandle photo, const Vistel& image, int destX,
                 int destY, int width, int height, int srcX, int srcY)
        : interp_(interp), photo_(photo),
          rowBytes_((size_t)image.GetWidth() * 4), destX_(destX), destY_(destY),
          width_(width), height_(height), srcX_(srcX), srcY_(srcY),
          block_(RgbaBlock(nullptr, width, 1, width))
    {
        // An alpha offset past the pixel tells Tk the block has no alpha.
        if (!CarriesAlpha(image)) block_.offset[3] = block_.pixelSize;
    }

    // Takes exactly one row per call, as the export writes them.
    size_t Write(const void* buffer, size_t size, size_t count) override
    {
        if (size * count != rowBytes_ || failed_) return 0;
        const int y = rowsSeen_++;
        if (y < srcY_ || y >= srcY_ + height_) return count;
        // Tk only reads the block.
        block_.pixelPtr = (BYTE*)buffer + (size_t)srcX_ * 4;
        if (Tk_PhotoPutBlock(interp_, photo_, &block_, destX_, destY_ + (y - srcY_), width_, 1,
                             TK_PHOTO_COMPOSITE_SET) != TCL_OK) {
            failed_ = true;
            return 0;
        }
        return count;
    }

    bool Flush() override { return !failed_; }
    bool Close() override { return true; }
    size_t Read(void*, size_t, size_t) override { return 0; }
    bool Seek(long, int) override { return false; }
    long Tell() override { return (long)(rowsSeen_ * rowBytes_); }
    long Size() override { return Tell(); }
    bool Eof() override { return false; }
    long Error() override { return failed_ ? 1 : 0; }
    long GetC() override { return -1; }

private:
    Tcl_Interp* interp_;
    Tk_PhotoHandle photo_;
    const size_t rowBytes_;
    const int destX_, destY_, width_, height_, srcX_, srcY_;
    Tk_PhotoImageBlock block_;
    int rowsSeen_ = 0;
    bool failed_ = false;
};

// Puts the region of an opaque 24-bit image straight from its pixel rows,
// one row a put: blue-green-red bytes with no alpha, which Tk widens to
// opaque RGBA as it copies them, so no export of the image is made. Puts
// inside the photo's size cannot fail.
void PutOpaqueRows(Tcl_Interp* interp, Tk_PhotoHandle photo, Vistel& image, int destX,
                   int destY, int width, int height, int srcX, int srcY)
{
    Tk_PhotoImageBlock block;
    memset(&block, 0, sizeof(block));
    block.width = width;
    block.height = 1;
    block.pitch = width * 3;
    block.pixelSize = 3;
    block.offset[0] = 2;
    block.offset[1] = 1;
    block.offset[2] = 0;
    block.offset[3] = 3;  // past the pixel: the block has no alpha
    const int lastRow = (int)image.GetHeight() - 1;
    for (int y = 0; y < height; y++) {
        block.pixelPtr = image.GetBits(lastRow - (srcY + y)) + (size_t)srcX * 3;
        Tk_PhotoPutBlock(interp, photo, &block, destX, destY + y, width, 1,
                         TK_PHOTO_COMPOSITE_SET);
    }
}

// Puts the region of any other image through its RGBA export.
int PutExportedRows(Tcl_Interp* interp, Tk_PhotoHandle photo, Vistel& image, int destX, int destY,
                    int width, int height, int srcX, int srcY)
{
    try {
        PhotoRowSink sink(interp, photo, image, destX, destY, width, height, srcX, srcY);
        if (image.Encode2RGBA(&sink)) return TCL_OK;
        return VistelError(interp, sink.Error() ? nullptr : image.GetLastError(),
                           sink.Error() ? "MEMORY" : "IMAGE");
    } catch (...) {
        return VistelError(interp, nullptr, "MEMORY");
    }
}

// Puts the requested region of a decoded image into the photo. Tk keeps
// the region inside the size the match reported; should the decoded
// picture be smaller, only the part it covers is put. The photo grows to
// hold the region before any row goes in, so that a failure to grow leaves
// it as it was.
int PutDecoded(Tcl_Interp* interp, Vistel& image, Tk_PhotoHandle imageHandle, int destX,
               int destY, int width, int height, int srcX, int srcY)
{
    const int w = ClipSpan(srcX, width, image.GetWidth());
    const int h = ClipSpan(srcY, height, image.GetHeight());
    if (w <= 0 || h <= 0) return TCL_OK;
    if (Tk_PhotoExpand(interp, imageHandle, destX + w, destY + h) != TCL_OK)
        return VistelError(interp, nullptr, "MEMORY");
    if (image.GetBpp() == 24 && !CarriesAlpha(image)) {
        PutOpaqueRows(interp, imageHandle, image, destX, destY, w, h, srcX, srcY);
        return TCL_OK;
    }
    return PutExportedRows(interp, imageHandle, image, destX, destY, w, h, srcX, srcY);
}

// Decodes the data and puts the requested region into the photo; starts
// the animation when the data holds several frames.
int ReadBytes(Tcl_Interp* interp, BYTE* bytes, int length, Tk_PhotoHandle imageHandle, int destX,
              int destY, int width, int height, int srcX, int srcY)
{
    if (!bytes || length <= 0) return VistelError(interp, "no image data", "DECODE");

    Vistel image;
    if (!DecodeAny(interp, bytes, length, image)) return TCL_ERROR;
    const long numFrames = image.GetNumFrames();
    if (PutDecoded(interp, image, imageHandle, destX, destY, width, height, srcX, srcY) != TCL_OK)
        return TCL_ERROR;
    DetachAnimationOnRead(imageHandle);
    if (numFrames > 1) AttachAnimationOnRead(interp, imageHandle, bytes, length, numFrames);
    return TCL_OK;
}

// A byte stream over a Tcl channel, positions counted from `start`, for
// decoders that read a file as they go instead of from a copy in memory.
class ChannelFile : public VsFile {
public:
    ChannelFile(Tcl_Channel chan, Tcl_WideInt start) : chan_(chan), start_(start) {}

    size_t Read(void* buffer, size_t size, size_t count) override
    {
        if (size == 0 || count == 0 || count > (size_t)INT32_MAX / size) return 0;
        const int got = Tcl_Read(chan_, (char*)buffer, (int)(size * count));
        return got > 0 ? (size_t)got / size : 0;
    }
    bool Seek(long offset, int origin) override
    {
        const Tcl_WideInt base = origin == SEEK_SET ? start_ : 0;
        return Tcl_Seek(chan_, base + offset, origin) >= 0;
    }
    long Tell() override { return (long)(Tcl_Tell(chan_) - start_); }
    long Size() override
    {
        const Tcl_WideInt remaining = RemainingBytes(chan_);
        return remaining < 0 ? -1 : (long)(Tcl_Tell(chan_) - start_ + remaining);
    }
    bool Eof() override { return Tcl_Eof(chan_) != 0; }
    long Error() override { return 0; }
    long GetC() override
    {
        unsigned char c;
        return Tcl_Read(chan_, (char*)&c, 1) == 1 ? c : -1;
    }
    size_t Write(const void*, size_t, size_t) override { return 0; }
    bool Flush() override { return true; }
    bool Close() override { return true; }

private:
    Tcl_Channel chan_;
    const Tcl_WideInt start_;
};

bool IsPng(const ChannelBytes& data)
{
    basic_image_information claimed;
    return data.length <= kMaxDataBytes &&
           Vistel::CheckFormat(data.bytes, (DWORD)data.length, &claimed) &&
           claimed.format == VISTEL_FORMAT_PNG;
}

// A PNG file is decoded as it is read from its channel, so that its bytes
// are never held whole next to the picture and the photo. True when done,
// with the read's outcome in *result; false when the decoder refused the
// data, the channel back where it was, for the reading of the whole data
// to find what to say.
bool ReadPngFromChannel(Tcl_Interp* interp, Tcl_Channel chan, Tcl_WideInt start,
                        Tk_PhotoHandle imageHandle, int destX, int destY, int width, int height,
                        int srcX, int srcY, int* result)
{
    const Tcl_WideInt resume = Tcl_Tell(chan);
    if (resume < 0 || Tcl_Seek(chan, start, SEEK_SET) != start) return false;
    ChannelFile file(chan, start);
    Vistel image;
    if (!image.Decode(&file, VISTEL_FORMAT_PNG)) {
        Tcl_Seek(chan, resume, SEEK_SET);
        return false;
    }
    *result = PutDecoded(interp, image, imageHandle, destX, destY, width, height, srcX, srcY);
    if (*result == TCL_OK) DetachAnimationOnRead(imageHandle);
    return true;
}

}  // namespace

namespace {

bool MatchBytes(const BYTE* bytes, size_t length, int* widthPtr, int* heightPtr)
{
    basic_image_information info;
    if (!bytes || length == 0 || length > 0x7FFFFFFF ||
        !Vistel::CheckFormat(const_cast<BYTE*>(bytes), (DWORD)length, &info))
        return false;
    // A top-down bitmap states its height as a negative number; Tk wants
    // the size of the picture.
    *widthPtr = info.width;
    *heightPtr = info.height < 0 && info.height != INT32_MIN ? -info.height : info.height;
    return true;
}

}  // namespace

int ObjMatch(Tcl_Obj* data, Tcl_Obj*, int* widthPtr, int* heightPtr, Tcl_Interp*)
{
    int length = 0;
    BYTE* bytes = Tcl_GetByteArrayFromObj(data, &length);
    return MatchBytes(bytes, length > 0 ? (size_t)length : 0, widthPtr, heightPtr) ? 1 : 0;
}

int ChanMatch(Tcl_Channel chan, const char*, Tcl_Obj*, int* widthPtr, int* heightPtr,
              Tcl_Interp* interp)
{
    if (channelBytes.chan != chan) {
        ForgetChannelBytes();
        if (!ReadChannelBytes(interp, chan, &channelBytes, kMatchPrefix)) {
            DropChannelBytes(nullptr);
            return 0;
        }
        Tcl_CreateCloseHandler(chan, DropChannelBytes, nullptr);
    }
    ChannelBytes& data = channelBytes;
    if (MatchBytes(data.bytes, data.length, widthPtr, heightPtr)) return 1;
    if (!data.complete && ReadChannelBytes(interp, chan, &data, kMaxDataBytes + 1) &&
        MatchBytes(data.bytes, data.length, widthPtr, heightPtr))
        return 1;
    // The bytes stay until the channel closes: the matches of our other
    // formats, which Tk may ask next, then decline without reading again.
    return 0;
}

int ObjRead(Tcl_Interp* interp, Tcl_Obj* data, Tcl_Obj*, Tk_PhotoHandle imageHandle, int destX,
            int destY, int width, int height, int srcX, int srcY)
{
    int length = 0;
    BYTE* bytes = Tcl_GetByteArrayFromObj(data, &length);
    return ReadBytes(interp, bytes, length, imageHandle, destX, destY, width, height, srcX, srcY);
}

int ChanRead(Tcl_Interp* interp, Tcl_Channel chan, const char*, Tcl_Obj*,
             Tk_PhotoHandle imageHandle, int destX, int destY, int width, int height, int srcX,
             int srcY)
{
    ChannelBytes data;
    if (channelBytes.chan == chan) {
        Tcl_DeleteCloseHandler(chan, DropChannelBytes, nullptr);
        data = channelBytes;
        channelBytes = ChannelBytes();
        Tcl_Seek(chan, data.start + (Tcl_WideInt)data.length, SEEK_SET);
    }
    int result;
    if (!data.complete && IsPng(data) &&
        ReadPngFromChannel(interp, chan, data.start, imageHandle, destX, destY, width, height,
                           srcX, srcY, &result)) {
        free(data.bytes);
        return result;
    }
    if (!ReadChannelBytes(interp, chan, &data, kMaxDataBytes + 1)) {
        free(data.bytes);
        return VistelError(interp, "error reading the image data", "IO");
    }
    result = ReadBytes(interp, data.bytes, (int)data.length, imageHandle, destX, destY, width,
                       height, srcX, srcY);
    free(data.bytes);
    return result;
}

int CopyImageToTk(Tcl_Interp* interp, Vistel* image, Tk_PhotoHandle Photo, int width, int height,
                  int blank)
{
    try {
        // The pixels are exported before the photo is touched, so that a
        // failure leaves the photo as it was.
        BYTE* rgba = nullptr;
        if (!ExportRgba(interp, *image, &rgba)) return TCL_ERROR;
        if (Tk_PhotoSetSize(interp, Photo, width, height) != TCL_OK) {
            Vistel::FreeMemory(rgba);
            return VistelError(interp, nullptr, "MEMORY");
        }
        // The block never reaches past the exported pixels.
        const int w = ClipSpan(0, width, image->GetWidth());
        const int h = ClipSpan(0, height, image->GetHeight());
        int result = TCL_OK;
        if (w > 0 && h > 0) {
            Tk_PhotoImageBlock block = RgbaBlock(rgba, w, h, (int)image->GetWidth());
            // The alpha bytes of an opaque image mean nothing: an alpha
            // offset past the pixel makes Tk store the pixels as opaque.
            if (!CarriesAlpha(*image)) block.offset[3] = block.pixelSize;
            result = Tk_PhotoPutBlock(interp, Photo, &block, 0, 0, w, h,
                                      blank ? TK_PHOTO_COMPOSITE_SET
                                            : TK_PHOTO_COMPOSITE_OVERLAY);
        }
        Vistel::FreeMemory(rgba);
        return result == TCL_OK ? TCL_OK : VistelError(interp, nullptr, "MEMORY");
    } catch (...) {
        return VistelError(interp, nullptr, "MEMORY");
    }
}

namespace {

// Encodes `image` as `type` and writes the bytes to `fileName` (created with
// 0644). The file is opened only once the bytes exist, so a failed encode
// leaves any earlier file untouched; a failed write removes the partial file.
// TCL_OK, or TCL_ERROR with the reason in the result.
int WriteEncodedFile(Tcl_Interp* interp, const char* fileName, const BYTE* bytes, long size)
{
    Tcl_Channel chan = Tcl_OpenFileChannel(interp, fileName, "w", 0644);
    if (!chan) return VistelError(interp, nullptr, "IO");
    Tcl_SetChannelOption(interp, chan, "-encoding", "binary");
    Tcl_SetChannelOption(interp, chan, "-translation", "binary");
    Tcl_Obj* data = Tcl_NewByteArrayObj(bytes, (int)size);
    Tcl_IncrRefCount(data);
    int written = Tcl_WriteObj(chan, data);
    Tcl_DecrRefCount(data);
    Tcl_ResetResult(interp);
    int closed = Tcl_Close(interp, chan);
    if (written < 0 || closed != TCL_OK) {
        if (written < 0)
            Tcl_AppendResult(interp, "error writing \"", fileName,
                             "\": ", Tcl_ErrnoMsg(Tcl_GetErrno()), (char*)nullptr);
        Tcl_Obj* path = Tcl_NewStringObj(fileName, -1);
        Tcl_IncrRefCount(path);
        Tcl_FSDeleteFile(path);
        Tcl_DecrRefCount(path);
        return VistelError(interp, nullptr, "IO");
    }
    return TCL_OK;
}

// The pixels of Tk's block, read where they lie.
vsquant::PixelView BlockView(const Tk_PhotoImageBlock& block)
{
    vsquant::PixelView view;
    const int* off = block.offset;
    view.pixels = block.pixelPtr;
    view.rowStride = block.pitch;
    view.pixelStride = block.pixelSize;
    view.red = off[0];
    view.green = off[1];
    view.blue = off[2];
    if (BlockHasAlpha(&block)) {
        view.alpha = block.pixelPtr + off[3];
        view.alphaRowStride = block.pitch;
        view.alphaPixelStride = block.pixelSize;
    }
    view.width = block.width;
    view.height = block.height;
    return view;
}

// Builds the image an encoder of `Type` takes from Tk's block: for GIF the
// photo's colours reduced to a palette straight from the block, for the
// others a 24-bit image with an alpha plane. TCL_ERROR with a message on
// failure.
int BlockToImage(Tcl_Interp* interp, int Type, Tk_PhotoImageBlock* blockPtr, Vistel& image)
{
    uint64_t bytes;
    if (blockPtr->width <= 0 || blockPtr->height <= 0 ||
        !vssize::Product((uint64_t)blockPtr->width, (uint64_t)blockPtr->height, 4, &bytes)) {
        return VistelError(interp, "VISTEL_MAX_MEMORY exceeded", "MEMORY");
    }
    if (Type == VISTEL_FORMAT_GIF) {
        const char* error = nullptr;
        if (!vsquant::ReduceToPalette(BlockView(*blockPtr), image, &error))
            return VistelError(interp, error, "MEMORY");
        return TCL_OK;
    }
    BYTE* buffer = (BYTE*)malloc((size_t)bytes);
    if (!buffer) {
        return VistelError(interp, "not enough memory to convert the photo", "MEMORY");
    }
    int hasAlpha = RGB2BGR(blockPtr, buffer);
    // RGB2BGR writes 4 bytes per pixel with rows following each other.
    bool ok = image.CreateFromArray(buffer, blockPtr->width, blockPtr->height, 32,
                                    (DWORD)blockPtr->width * 4, true);
    free(buffer);
    if (!ok) return VistelError(interp, image.GetLastError(), "IMAGE");
    if (!hasAlpha) image.AlphaDelete();
    return TCL_OK;
}

}  // namespace

int DataWrite(Tcl_Interp* interp, int Type, Tk_PhotoImageBlock* blockPtr)
{
    Vistel image;
    if (BlockToImage(interp, Type, blockPtr, image) != TCL_OK) return TCL_ERROR;
    BYTE* bytes = nullptr;
    long size = 0;
    if (!image.Encode(bytes, size, (DWORD)Type))
        return VistelError(interp, image.GetLastError(), "ENCODE");
    Tcl_SetObjResult(interp, Tcl_NewByteArrayObj(bytes, (int)size));
    Vistel::FreeMemory(bytes);
    return TCL_OK;
}

int StringWrite(Tcl_Interp* interp, Tcl_Obj* format, Tk_PhotoImageBlock* blockPtr)
{
    int Type = format ? GetFileTypeFromFormat(Tcl_GetString(format)) : 0;
    if (Type == 0) Type = VISTEL_FORMAT_GIF;
    return DataWrite(interp, Type, blockPtr);
}

int ChanWrite(Tcl_Interp* interp, const char* fileName, Tcl_Obj* format,
              Tk_PhotoImageBlock* blockPtr)
{
    int Type = format ? GetFileTypeFromFormat(Tcl_GetString(format)) : 0;
    if (Type == 0) Type = GetFileTypeFromFileName(fileName);
    if (Type == 0) Type = VISTEL_FORMAT_GIF;

    if (DataWrite(interp, Type, blockPtr) != TCL_OK) return TCL_ERROR;
    Tcl_Obj* encoded = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(encoded);
    int size = 0;
    const BYTE* bytes = Tcl_GetByteArrayFromObj(encoded, &size);
    Tcl_ResetResult(interp);
    int rc = WriteEncodedFile(interp, fileName, bytes, size);
    Tcl_DecrRefCount(encoded);
    return rc;
}

int SaveToFile(Tcl_Interp* interp, Vistel* image, const char* fileName, int Type)
{
    if (Type == 0) Type = GetFileTypeFromFileName(fileName);
    if (Type == 0) Type = VISTEL_FORMAT_GIF;
    BYTE* bytes = nullptr;
    long size = 0;
    if (!image->Encode(bytes, size, (DWORD)Type)) return 0;
    int rc = WriteEncodedFile(interp, fileName, bytes, size);
    Vistel::FreeMemory(bytes);
    return rc == TCL_OK ? 1 : 0;
}

// ----------------------------------------------------------- animation

ChainedList::iterator TkVistel_lstGetListItem(void* Handle)
{
    ChainedList::iterator it = animated_gifs.begin();
    for (; it != animated_gifs.end(); ++it)
        if ((*it)->Handle == Handle) break;
    return it;
}

gif_info* TkVistel_lstGetItem(void* Handle)
{
    ChainedList::iterator it = TkVistel_lstGetListItem(Handle);
    return it == animated_gifs.end() ? nullptr : *it;
}

gif_info* TkVistel_lstAddItem(gif_info* item)
{
    if (!item || TkVistel_lstGetItem(item->Handle)) return nullptr;
    animated_gifs.push_back(item);
    return item;
}

gif_info* TkVistel_lstDeleteItem(void* Handle)
{
    ChainedList::iterator it = TkVistel_lstGetListItem(Handle);
    if (it == animated_gifs.end()) return nullptr;
    gif_info* item = *it;
    animated_gifs.erase(it);
    return item;
}

void ReleaseFrameBuffer(gif_info* Info)
{
    delete Info->frameRgba;
    Info->frameRgba = nullptr;
}

void ScheduleNextFrame(gif_info* Info, Vistel* frame)
{
    const DWORD delay = frame->GetFrameDelay();
    const int wait = delay ? (int)(delay * 10) : 40;
    Info->timerToken = Tcl_CreateTimerHandler(wait, AnimateGif, Info);
}

namespace {

void PhotoDeletedTrace(ClientData clientData, Tcl_Interp*, const char*, const char*, int);

// Releases a record that is no longer listed: its timer, frames, buffer
// and the watch on its photo's command.
void FreeRecord(gif_info* Info, bool untrace)
{
    if (Info->timerToken) Tcl_DeleteTimerHandler(Info->timerToken);
    if (Info->copyPending) Tcl_CancelIdleCall(CopyFrameWhenIdle, Info);
    if (untrace)
        Tcl_UntraceCommand(Info->interp, Tcl_GetString(Info->name), TCL_TRACE_DELETE,
                           PhotoDeletedTrace, Info);
    Tcl_DecrRefCount(Info->name);
    Info->image->DestroyGifFrames();
    delete Info->image;
    ReleaseFrameBuffer(Info);
    delete Info;
}

// Tk deletes a photo's command whenever the photo goes away (image delete,
// a new image of the same name, the interpreter's deletion): the record
// goes with it, before Tk releases the photo, so that no timer, display or
// command ever reaches a photo Tk has released.
void PhotoDeletedTrace(ClientData clientData, Tcl_Interp*, const char*, const char*, int)
{
    gif_info* Info = (gif_info*)clientData;
    TkVistel_lstDeleteItem(Info->Handle);
    FreeRecord(Info, false);
}

// The photo's image master token. No public call returns it for a photo
// handle; Tk's photo model record holds it as its first member.
Tk_ImageMaster ImageMasterOf(Tk_PhotoHandle handle)
{
    return *(Tk_ImageMaster*)handle;
}

}  // namespace

void DetachAnimationOnRead(Tk_PhotoHandle imageHandle)
{
    gif_info* Info = TkVistel_lstDeleteItem(imageHandle);
    if (Info) FreeRecord(Info, true);
}

void AttachAnimationOnRead(Tcl_Interp* interp, Tk_PhotoHandle imageHandle, BYTE* bytes,
                           int length, long numFrames)
{
    Tk_ImageMaster master = ImageMasterOf(imageHandle);
    const char* name = Tk_NameOfImage(master);
    if (!name) return;

    gif_info* Info = new gif_info();
    Info->interp = interp;
    Info->Handle = imageHandle;
    Info->ImageMaster = master;
    Info->NumFrames = (unsigned int)numFrames;
    Info->CurrentFrame = 0;
    Info->CopiedFrame = -1;
    Info->timerToken = nullptr;
    Info->copyPending = false;
    Info->name = Tcl_NewStringObj(name, -1);
    Tcl_IncrRefCount(Info->name);

    Info->image = new Vistel();
    Info->image->RetreiveAllFrame();
    Info->image->SetFrame(numFrames - 1);
    Info->image->Decode(bytes, (DWORD)length, VISTEL_FORMAT_GIF);

    if (Tcl_TraceCommand(interp, name, TCL_TRACE_DELETE, PhotoDeletedTrace, Info) != TCL_OK) {
        // Without a watch on the photo the record could outlive it.
        Tcl_ResetResult(interp);
        FreeRecord(Info, false);
        return;
    }
    TkVistel_lstAddItem(Info);
    Info->Enabled = 1;
    ScheduleNextFrame(Info, Info->image->GetFrameNo(0));
}

void AnimateGif(ClientData data)
{
    gif_info* Info = (gif_info*)data;
    if (!Info) return;
    Info->timerToken = nullptr;
    Info->CurrentFrame++;
    if (Info->CurrentFrame >= Info->NumFrames) Info->CurrentFrame = 0;
    Vistel* frame = Info->image->GetFrameNo(Info->CurrentFrame);
    const int w = (int)frame->GetWidth(), h = (int)frame->GetHeight();
    Tk_ImageChanged(Info->ImageMaster, 0, 0, w, h, w, h);
    ScheduleNextFrame(Info, frame);
}

int AnimatedGifFrameToTk(Tcl_Interp* interp, gif_info* Info, Vistel* frame, int blank)
{
    try {
        if (!Info->frameRgba) {
            Info->frameRgba = new VsMemFile();
            if (!Info->frameRgba->Open()) return VistelError(interp, nullptr, "MEMORY");
        }
        VsMemFile* buffer = Info->frameRgba;
        buffer->Seek(0, SEEK_SET);
        const long width = frame->GetWidth(), height = frame->GetHeight();
        // A frame that cannot be exported whole is skipped.
        if (!frame->Encode2RGBA(buffer) || buffer->Tell() < width * height * 4) return TCL_OK;

        Tk_PhotoImageBlock block;
        memset(&block, 0, sizeof(block));
        block.pixelPtr = buffer->GetBuffer(false);
        block.width = (int)width;
        block.height = (int)height;
        block.pitch = (int)width * 4;
        block.pixelSize = 4;
        block.offset[0] = 0;
        block.offset[1] = 1;
        block.offset[2] = 2;
        block.offset[3] = CarriesAlpha(*frame) ? 3 : 0;
        return Tk_PhotoPutBlock(interp, Info->Handle, &block, 0, 0, (int)width, (int)height,
                                blank ? TK_PHOTO_COMPOSITE_SET : TK_PHOTO_COMPOSITE_OVERLAY);
    } catch (...) {
        return VistelError(interp, nullptr, "MEMORY");
    }
}

void CopyFrameWhenIdle(ClientData data)
{
    gif_info* Info = (gif_info*)data;
    Info->copyPending = false;
    if ((int)Info->CurrentFrame == Info->CopiedFrame) return;
    Vistel* frame = Info->image->GetFrameNo(Info->CurrentFrame);
    Info->CopiedFrame = (int)Info->CurrentFrame;
    AnimatedGifFrameToTk(nullptr, Info, frame, 1);
}

void PhotoDisplayProcHook(ClientData instanceData, Display* display, Drawable drawable,
                          int imageX, int imageY, int width, int height, int drawableX,
                          int drawableY)
{
    // Tk's photo instance record begins with its photo handle; it is only
    // compared with the records' keys, never followed.
    gif_info* Info = animated_gifs.empty() ? nullptr
                                           : TkVistel_lstGetItem(*(void**)instanceData);
    if (Info && (int)Info->CurrentFrame != Info->CopiedFrame && !Info->copyPending) {
        // Putting pixels into a photo while a widget is drawing it changes
        // the instance under the widget's feet (a ttk label crashes on it):
        // the copy runs right after this display, and Tk then redraws.
        Info->copyPending = true;
        Tcl_DoWhenIdle(CopyFrameWhenIdle, Info);
    }
    if (PhotoDisplayOriginal)
        PhotoDisplayOriginal(instanceData, display, drawable, imageX, imageY, width, height,
                             drawableX, drawableY);
}
