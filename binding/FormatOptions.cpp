#include "FormatOptions.h"

#include <cstring>
#include <string>

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

int BadOption(Tcl_Interp* interp, const char* option, const char* allowed)
{
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("bad format option \"%s\": must be %s", option, allowed));
    return VistelError(interp, nullptr, "OPTION");
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
    const char* allowed = writing ? "none" : "-index";
    for (int i = 1; i < count; i += 2) {
        const char* option = Tcl_GetString(words[i]);
        if (writing || strcmp(option, "-index") != 0) return BadOption(interp, option, allowed);
        if (i + 1 >= count) return BadOption(interp, option, allowed);
        int index;
        if (Tcl_GetIntFromObj(nullptr, words[i + 1], &index) != TCL_OK || index < 0) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("bad format option \"-index\": %s is no frame number",
                                                   Tcl_GetString(words[i + 1])));
            return VistelError(interp, nullptr, "OPTION");
        }
        out->index = index;
    }
    return TCL_OK;
}
