#include "FormatOptions.h"

#include <cstring>
#include <initializer_list>

namespace {

// Our formats' names and the file type each one writes.
struct NamedFormat {
    const char* name;
    DWORD type;
};
const NamedFormat kNames[] = {
    {"vistel", VISTEL_FORMAT_UNKNOWN}, {"vsgif", VISTEL_FORMAT_GIF}, {"vspng", VISTEL_FORMAT_PNG},
    {"vsjpg", VISTEL_FORMAT_JPG},      {"vstga", VISTEL_FORMAT_TGA}, {"vsbmp", VISTEL_FORMAT_BMP},
};

DWORD TypeOfName(const char* name)
{
    for (const NamedFormat& f : kNames)
        if (strcasecmp(name, f.name) == 0) return f.type;
    return VISTEL_FORMAT_UNKNOWN;
}

enum class Option { Index, Scale, Orient, Quality, Progressive, Grayscale, Compression, Interlace,
                    Background };

// One option; the name comes first, as Tcl_GetIndexFromObjStruct reads it.
struct OptionSpec {
    const char* name;
    Option option;
    const char* wants;  // what the value must be; null for a flag, whose value is optional
};

const OptionSpec kReadOptions[] = {
    {"-index", Option::Index, "a frame number from 0"},
    {"-orient", Option::Orient, "auto or none"},
    {"-scale", Option::Scale, "1/2, 1/4 or 1/8"},
    {nullptr, Option::Index, nullptr},
};

const OptionSpec kWriteOptions[] = {
    {"-background", Option::Background, "a colour"},
    {"-compression", Option::Compression, "rle or none"},
    {"-grayscale", Option::Grayscale, nullptr},
    {"-interlace", Option::Interlace, nullptr},
    {"-progressive", Option::Progressive, nullptr},
    {"-quality", Option::Quality, "an integer from 1 to 100"},
    {nullptr, Option::Index, nullptr},
};

int RefuseValue(Tcl_Interp* interp, const OptionSpec& spec, Tcl_Obj* value)
{
    if (interp) {
        Tcl_SetObjResult(interp, value ? Tcl_ObjPrintf("bad format option \"%s %s\": must be %s",
                                                       spec.name, Tcl_GetString(value), spec.wants)
                                       : Tcl_ObjPrintf("bad format option \"%s\": must be followed by %s",
                                                       spec.name, spec.wants));
    }
    return VistelError(interp, nullptr, "OPTION");
}

bool GetIntIn(Tcl_Obj* value, int low, int high, int* out)
{
    return Tcl_GetIntFromObj(nullptr, value, out) == TCL_OK && *out >= low && *out <= high;
}

// A colour Tk knows, as an opaque RGBQUAD.
bool GetColor(Tcl_Interp* interp, Tcl_Obj* value, RGBQUAD* out)
{
    Tk_Window main = interp ? Tk_MainWindow(interp) : nullptr;
    XColor* color = main ? Tk_GetColor(nullptr, main, Tk_GetUid(Tcl_GetString(value))) : nullptr;
    if (!color) return false;
    *out = RGBQUAD{(BYTE)(color->blue >> 8), (BYTE)(color->green >> 8), (BYTE)(color->red >> 8), 255};
    Tk_FreeColor(color);
    return true;
}

// Stores one option's value; false when the value is not one it takes.
bool Store(Tcl_Interp* interp, Option option, Tcl_Obj* value, FormatOptions* out)
{
    const char* text = Tcl_GetString(value);
    int n;
    switch (option) {
    case Option::Index:
        if (!GetIntIn(value, 0, INT32_MAX, &n)) return false;
        out->index = n;
        return true;
    case Option::Scale:
        for (int s : {2, 4, 8})
            if (text[0] == '1' && text[1] == '/' && text[2] == '0' + s && !text[3]) {
                out->scale = s;
                return true;
            }
        return false;
    case Option::Orient:
        out->upright = strcmp(text, "auto") == 0;
        return out->upright || strcmp(text, "none") == 0;
    case Option::Quality:
        if (!GetIntIn(value, 1, 100, &n)) return false;
        out->quality = n;
        return true;
    case Option::Compression:
        out->rle = strcmp(text, "rle") == 0;
        return out->rle || strcmp(text, "none") == 0;
    case Option::Background:
        return GetColor(interp, value, &out->background);
    default:
        return false;
    }
}

bool* FlagOf(Option option, FormatOptions* out)
{
    switch (option) {
    case Option::Progressive: return &out->progressive;
    case Option::Grayscale: return &out->grayscale;
    default: return &out->interlace;
    }
}

}  // namespace

int ParseFormatOptions(Tcl_Interp* interp, Tcl_Obj* format, bool writing, FormatOptions* out)
{
    *out = FormatOptions();
    if (!format) return TCL_OK;
    int count;
    Tcl_Obj** words;
    if (Tcl_ListObjGetElements(interp, format, &count, &words) != TCL_OK)
        return VistelError(interp, nullptr, "OPTION");
    if (count == 0) return TCL_OK;
    out->namedType = TypeOfName(Tcl_GetString(words[0]));
    const OptionSpec* table = writing ? kWriteOptions : kReadOptions;
    for (int i = 1; i < count; i++) {
        int which;
        if (Tcl_GetIndexFromObjStruct(interp, words[i], table, sizeof(OptionSpec), "format option",
                                      0, &which) != TCL_OK)
            return VistelError(interp, nullptr, "OPTION");
        const OptionSpec& spec = table[which];
        Tcl_Obj* value = i + 1 < count ? words[i + 1] : nullptr;
        if (!spec.wants) {
            // A flag, optionally followed by a boolean (as Img's options take it).
            int on = 1;
            if (value && Tcl_GetBooleanFromObj(nullptr, value, &on) == TCL_OK) i++;
            *FlagOf(spec.option, out) = on != 0;
            continue;
        }
        if (!value || !Store(interp, spec.option, value, out)) return RefuseValue(interp, spec, value);
        i++;
    }
    return TCL_OK;
}
