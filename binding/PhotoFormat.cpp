#include "PhotoFormat.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Animation.h"
#include "ChannelSource.h"
#include "DataBytes.h"
#include "FormatOptions.h"
#include "Formats.h"
#include "GifRead.h"
#include "HeaderReach.h"
#include "PhotoPut.h"
#include "PhotoResolution.h"
#include "PhotoWrite.h"
#include "TkVistel.h"
#include "VistelJPG.h"
#include "VistelTGA.h"

namespace {

// Bytes a match reads first, enough for every header check.
const size_t kMatchPrefix = (size_t)64 << 10;

// The read options a match sees; a format string the read will refuse
// counts as none, so that the read says what is wrong with it.
FormatOptions MatchOptions(Tcl_Obj* format)
{
    FormatOptions options;
    if (ParseFormatOptions(nullptr, format, false, &options) != TCL_OK) options = FormatOptions();
    return options;
}

// How the decoder is to read: the scale, and turning by EXIF orientation.
void SetReadSettings(Vistel& image, const FormatOptions& options)
{
    image.SetJpegScale((BYTE)options.scale);
    image.SetCodecOption(options.upright ? (DWORD)JPG_OPT_UPRIGHT : 0, VISTEL_FORMAT_JPG);
}

// The size of a picture our read takes, as the read options make it, from
// the first `length` bytes of data `dataLength` long. Data that starts with
// one of our signatures but whose header is refused (damaged, cut short, or
// claiming more than the ceiling or the data allow) is taken as 0 x 0, as
// the header checks report headers their decoders refuse: Tk then
// allocates nothing (for -file it makes that 1 x 1), leaves a photo being
// configured with -data its size and pixels, and our read says what is
// wrong with the data.
bool MatchData(const BYTE* bytes, size_t length, uint64_t dataLength,
               const FormatOptions& options, int* widthPtr, int* heightPtr)
{
    basic_image_information info;
    const formats::Format* format = formats::Probe(bytes, length, &info, dataLength);
    if (!format) {
        if (!formats::BySignature(bytes, length)) return false;
        *widthPtr = *heightPtr = 0;
        return true;
    }
    int64_t width = info.width;
    int64_t height = info.height;
    if (width > 0 && height > 0 && format->type == VISTEL_FORMAT_JPG &&
        (options.scale > 1 || options.upright)) {
        // The codec's header read knows both the scaled size and the turn.
        Vistel header;
        header.SetEscape(-1);
        SetReadSettings(header, options);
        if (formats::Decode(header, bytes, length, VISTEL_FORMAT_JPG)) {
            width = header.GetWidth();
            height = header.GetHeight();
        }
    } else {
        width = (width + options.scale - 1) / options.scale;
        height = (height + options.scale - 1) / options.scale;
    }
    *widthPtr = (int)std::min<int64_t>(width, INT32_MAX);
    *heightPtr = (int)std::min<int64_t>(height, INT32_MAX);
    return true;
}

// Files of every other type hold one frame.
int NoSuchFrame(Tcl_Interp* interp, long index)
{
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("no frame %ld: the file has 1 frame", index));
    return VistelError(interp, nullptr, "FRAME", "RANGE");
}

// Decodes data and puts the region into the photo; a GIF may start an
// animation, anything else stops the one the photo had.
int ReadData(Tcl_Interp* interp, const BYTE* bytes, size_t length, const FormatOptions& options,
             Tk_PhotoHandle photo, const PhotoRegion& region)
{
    const formats::Format* probed = formats::Probe(bytes, length, nullptr);
    if (!probed) probed = formats::BySignature(bytes, length);
    if (probed && probed->type == VISTEL_FORMAT_GIF) {
        if (ReadGifIntoPhoto(interp, bytes, length, photo, region, options.index, options.scale) !=
            TCL_OK)
            return TCL_ERROR;
        photoresolution::Forget(photo);
        return TCL_OK;
    }
    if (options.index > 0) return NoSuchFrame(interp, options.index);
    Vistel image;
    SetReadSettings(image, options);
    if (!formats::Decode(image, bytes, length, VISTEL_FORMAT_UNKNOWN))
        return VistelError(interp, image.GetLastError(), "DECODE");
    if (PutImageRegion(interp, photo, image, region) != TCL_OK) return TCL_ERROR;
    animation::Forget(photo);
    photoresolution::Remember(interp, photo, image);
    return TCL_OK;
}

// The length of the data whose first bytes a match or read holds: all of
// it once read to the end, else the channel's, when it can tell.
uint64_t DataLength(const ChannelBytes& data)
{
    if (data.complete || data.total < 0) return data.complete ? data.length : UINT64_MAX;
    return (uint64_t)data.total;
}

PhotoRegion Region(int destX, int destY, int width, int height, int srcX, int srcY)
{
    PhotoRegion r;
    r.destX = destX;
    r.destY = destY;
    r.width = width;
    r.height = height;
    r.srcX = srcX;
    r.srcY = srcY;
    return r;
}

// A PNG or JPEG file is decoded as it is read from its channel, so that its
// bytes are never held whole next to the picture and the photo (for a JPEG
// read at a reduced scale, taking and filling that copy would cost about a
// fifth of the read). True when done,
// with the read's outcome in *result; false when the decoder refused the
// data, the channel back where it was, for the reading of the whole data to
// find what to say.
bool ReadFromChannel(Tcl_Interp* interp, Tcl_Channel chan, const ChannelBytes& matched,
                     DWORD type, const FormatOptions& options, Tk_PhotoHandle photo,
                     const PhotoRegion& region, int* result)
{
    const Tcl_WideInt resume = Tcl_Tell(chan);
    if (resume < 0 || Tcl_Seek(chan, matched.start, SEEK_SET) != matched.start) return false;
    ChannelFile file(chan, matched.start);
    Vistel image;
    SetReadSettings(image, options);
    if (!formats::Decode(image, &file, type)) {
        Tcl_Seek(chan, resume, SEEK_SET);
        return false;
    }
    *result = PutImageRegion(interp, photo, image, region);
    if (*result == TCL_OK) {
        animation::Forget(photo);
        photoresolution::Remember(interp, photo, image);
    }
    return true;
}

// ------------------------------------------------------- Tk's procedures

int ObjMatch(Tcl_Obj* data, Tcl_Obj* format, int* widthPtr, int* heightPtr, Tcl_Interp* interp)
{
    InterpCeiling ceiling(interp);
    const DataBytes picture(data);
    return MatchData(picture.bytes(), picture.length(), picture.length(), MatchOptions(format),
                     widthPtr, heightPtr)
               ? 1
               : 0;
}

int ChanMatch(Tcl_Channel chan, const char*, Tcl_Obj* format, int* widthPtr, int* heightPtr,
              Tcl_Interp* interp)
{
    InterpCeiling ceiling(interp);
    const ChannelBytes* data = MatchBytes(interp, chan, kMatchPrefix);
    if (!data) return 0;
    // A header check may need more than the prefix (a JPEG whose frame
    // header follows a large block of metadata); only data that carries
    // one of our signatures is read further, as far as its structure points
    // and no further than its type's header can reach.
    const formats::Format* typed = formats::BySignature(data->bytes, data->length);
    while (data && typed && !data->complete &&
           !formats::Probe(data->bytes, data->length, nullptr, DataLength(*data))) {
        const size_t reach = formats::HeaderReach(typed->type, data->bytes, data->length);
        if (reach == 0 || data->length >= typed->headerReach) break;
        // At least twice as far each time, so that a long run of segments
        // is not read one at a time.
        data = MatchBytes(interp, chan, std::min(std::max(reach, 2 * data->length), typed->headerReach));
    }
    return data && MatchData(data->bytes, data->length, DataLength(*data), MatchOptions(format),
                             widthPtr, heightPtr)
               ? 1
               : 0;
}

int ObjRead(Tcl_Interp* interp, Tcl_Obj* data, Tcl_Obj* format, Tk_PhotoHandle photo, int destX,
            int destY, int width, int height, int srcX, int srcY)
{
    InterpCeiling ceiling(interp);
    FormatOptions options;
    if (ParseFormatOptions(interp, format, false, &options) != TCL_OK) return TCL_ERROR;
    const DataBytes picture(data);
    if (!picture.bytes() || picture.length() == 0)
        return VistelError(interp, "no image data", "DECODE");
    return ReadData(interp, picture.bytes(), picture.length(), options, photo,
                    Region(destX, destY, width, height, srcX, srcY));
}

int ChanRead(Tcl_Interp* interp, Tcl_Channel chan, const char*, Tcl_Obj* format,
             Tk_PhotoHandle photo, int destX, int destY, int width, int height, int srcX,
             int srcY)
{
    InterpCeiling ceiling(interp);
    const PhotoRegion region = Region(destX, destY, width, height, srcX, srcY);
    FormatOptions options;
    if (ParseFormatOptions(interp, format, false, &options) != TCL_OK) return TCL_ERROR;
    ChannelBytes data;
    TakeMatchedBytes(chan, &data);
    int result;
    basic_image_information info;
    const formats::Format* probed =
        formats::Probe(data.bytes, data.length, &info, DataLength(data));
    if (!data.complete && probed &&
        (probed->type == VISTEL_FORMAT_PNG || probed->type == VISTEL_FORMAT_JPG) &&
        options.index <= 0 &&
        ReadFromChannel(interp, chan, data, probed->type, options, photo, region, &result)) {
        ReleaseChannelBytes(&data);
        return result;
    }
    // Data whose header the match refused after reading as far as a header
    // can reach is not read further: its decoder says what is wrong from
    // the bytes the match read.
    if ((probed || !data.length) && !ReadRest(interp, chan, &data)) {
        ReleaseChannelBytes(&data);
        return VistelError(interp, "error reading the image data", "IO");
    }
    result = ReadData(interp, data.bytes, data.length, options, photo, region);
    ReleaseChannelBytes(&data);
    return result;
}

int ChanWrite(Tcl_Interp* interp, const char* fileName, Tcl_Obj* format,
              Tk_PhotoImageBlock* block)
{
    InterpCeiling ceiling(interp);
    FormatOptions options;
    if (ParseFormatOptions(interp, format, true, &options) != TCL_OK) return TCL_ERROR;
    return WritePhotoFile(interp, fileName, options, block);
}

int StringWrite(Tcl_Interp* interp, Tcl_Obj* format, Tk_PhotoImageBlock* block)
{
    InterpCeiling ceiling(interp);
    FormatOptions options;
    if (ParseFormatOptions(interp, format, true, &options) != TCL_OK) return TCL_ERROR;
    return WritePhotoData(interp, options, block);
}

const char* const kFormatNames[] = {"vistel", "vsgif", "vspng", "vsjpg", "vstga", "vsbmp"};

}  // namespace

void RegisterPhotoFormats()
{
    for (const char* name : kFormatNames) {
        // Tk copies the record and its name.
        Tk_PhotoImageFormat format = {const_cast<char*>(name), ChanMatch, ObjMatch, ChanRead,
                                      ObjRead, ChanWrite, StringWrite, nullptr};
        Tk_CreatePhotoImageFormat(&format);
    }
}
