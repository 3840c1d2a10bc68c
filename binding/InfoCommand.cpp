// ::Vistel::Info: what a file, or data, says of its picture, as a dict,
// from its headers and metadata alone.
#include <cstring>
#include <memory>
#include <vector>

#include "Commands.h"
#include "DataBytes.h"
#include "Formats.h"

namespace {

void Put(Tcl_Obj* dict, const char* key, Tcl_Obj* value)
{
    Tcl_DictObjPut(nullptr, dict, Tcl_NewStringObj(key, -1), value);
}

Tcl_Obj* Pair(Tcl_Obj* a, Tcl_Obj* b)
{
    Tcl_Obj* both[2] = {a, b};
    return Tcl_NewListObj(2, both);
}

void PutText(Tcl_Obj* dict, const char* key, const char* text)
{
    if (*text) Put(dict, key, Tcl_NewStringObj(text, -1));
}

void PutNumber(Tcl_Obj* dict, const char* key, double value)
{
    if (value > 0) Put(dict, key, Tcl_NewDoubleObj(value));
}

// The fields the EXIF reader records, those the file gives.
Tcl_Obj* ExifDict(const tag_ExifInfo& e)
{
    Tcl_Obj* dict = Tcl_NewDictObj();
    if (e.Orientation) Put(dict, "orientation", Tcl_NewIntObj(e.Orientation));
    PutText(dict, "make", e.CameraMake);
    PutText(dict, "model", e.CameraModel);
    PutText(dict, "datetime", e.DateTime);
    PutNumber(dict, "exposure", e.ExposureTime);
    PutNumber(dict, "fnumber", e.ApertureFNumber);
    if (e.ISOequivalent > 0) Put(dict, "iso", Tcl_NewIntObj(e.ISOequivalent));
    PutNumber(dict, "focallength", e.FocalLength);
    // Dots per inch; the unit field holds the unit's length in inches.
    const double inches = e.ResolutionUnit > 0 ? e.ResolutionUnit : 1.0;
    if (e.Xresolution > 0 && e.Yresolution > 0)
        Put(dict, "resolution", Pair(Tcl_NewDoubleObj(e.Xresolution / inches),
                                     Tcl_NewDoubleObj(e.Yresolution / inches)));
    if (e.HasGpsPosition) {
        Tcl_Obj* gps = Tcl_NewDictObj();
        Put(gps, "latitude", Tcl_NewDoubleObj(e.GpsLatitude));
        Put(gps, "longitude", Tcl_NewDoubleObj(e.GpsLongitude));
        if (e.HasGpsAltitude) Put(gps, "altitude", Tcl_NewDoubleObj(e.GpsAltitude));
        Put(dict, "gps", gps);
    }
    return dict;
}

Tcl_Obj* FactsDict(const PictureFacts& f)
{
    Tcl_Obj* dict = Tcl_NewDictObj();
    Put(dict, "format", Tcl_NewStringObj(formats::ByType(f.format)->name, -1));
    Put(dict, "width", Tcl_NewIntObj(f.width));
    Put(dict, "height", Tcl_NewIntObj(f.height));
    Put(dict, "depth", Tcl_NewIntObj(f.depth));
    Put(dict, "frames", Tcl_NewWideIntObj((Tcl_WideInt)f.frames));
    Tcl_Obj* delays = Tcl_NewListObj(0, nullptr);
    for (int ms : f.delays) Tcl_ListObjAppendElement(nullptr, delays, Tcl_NewIntObj(ms));
    Put(dict, "delays", delays);
    Put(dict, "loop", Tcl_NewIntObj(f.loops));
    if (f.xDpi || f.yDpi) Put(dict, "dpi", Pair(Tcl_NewWideIntObj(f.xDpi), Tcl_NewWideIntObj(f.yDpi)));
    Put(dict, "alpha", Tcl_NewBooleanObj(f.alpha));
    if (f.hasExif) Put(dict, "exif", ExifDict(f.exif));
    Put(dict, "interlaced", Tcl_NewBooleanObj(f.interlaced));
    Put(dict, "progressive", Tcl_NewBooleanObj(f.progressive));
    return dict;
}

// Why data gives no facts, in the words a decode would use.
const char* Refusal(const BYTE* bytes, size_t length)
{
    if (length == 0) return "empty file";
    const formats::Format* format = formats::BySignature(bytes, length);
    return format ? "the header cannot be read" : "unknown image format";
}

}  // namespace

int InfoCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    const bool data = objc == 3 && strcmp(Tcl_GetString(objv[2]), "-data") == 0;
    if (objc != 2 && !data) return Usage(interp, "::Vistel::Info", "source ?-data?");
    if (Tcl_IsSafe(interp)) return RefuseInSafe(interp, "::Vistel::Info");
    InterpCeiling ceiling(interp);
    std::vector<BYTE> file;
    const BYTE* bytes;
    size_t length;
    std::unique_ptr<DataBytes> picture;
    if (data) {
        picture = std::make_unique<DataBytes>(objv[1]);
        bytes = picture->bytes();
        length = picture->length();
    } else {
        if (!ReadFile(interp, objv[1], &file)) return TCL_ERROR;
        bytes = file.data();
        length = file.size();
    }
    PictureFacts facts;
    if (!formats::Describe(bytes, length, &facts)) {
        if (data) return VistelError(interp, Refusal(bytes, length), "DECODE");
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("couldn't read \"%s\": %s", Tcl_GetString(objv[1]),
                                               Refusal(bytes, length)));
        return VistelError(interp, nullptr, "DECODE");
    }
    Tcl_SetObjResult(interp, FactsDict(facts));
    return TCL_OK;
}
