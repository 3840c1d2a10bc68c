// Photo format procedures (match, read, write) shared by all six formats,
// and the display hook that runs before every photo display.
#ifndef VISTEL_PHOTOFORMAT_H
#define VISTEL_PHOTOFORMAT_H

#include <tcl.h>
#include <tk.h>
// X11 names a visual class GrayScale; the image library has a method of
// that name, and the binding needs no visual classes.
#undef GrayScale

#include <list>

#include "../image/VsFile.h"
#include "../image/VsTypes.h"

class Vistel;

int ObjMatch(Tcl_Obj* data, Tcl_Obj* format, int* widthPtr, int* heightPtr, Tcl_Interp* interp);
int ChanMatch(Tcl_Channel chan, const char* fileName, Tcl_Obj* format, int* widthPtr,
              int* heightPtr, Tcl_Interp* interp);
int ObjRead(Tcl_Interp* interp, Tcl_Obj* data, Tcl_Obj* format, Tk_PhotoHandle imageHandle,
            int destX, int destY, int width, int height, int srcX, int srcY);
int ChanRead(Tcl_Interp* interp, Tcl_Channel chan, const char* fileName, Tcl_Obj* format,
             Tk_PhotoHandle imageHandle, int destX, int destY, int width, int height, int srcX,
             int srcY);
// Replaces the photo's whole content with the image (width and height are
// the image's own); blank non-zero sets the pixels, 0 composites over them.
int CopyImageToTk(Tcl_Interp* interp, Vistel* image, Tk_PhotoHandle Photo, int width, int height,
                  int blank);
int ChanWrite(Tcl_Interp* interp, const char* fileName, Tcl_Obj* format,
              Tk_PhotoImageBlock* blockPtr);
int StringWrite(Tcl_Interp* interp, Tcl_Obj* format, Tk_PhotoImageBlock* blockPtr);
// Encodes the block as Type; on success the result is the encoded bytes.
int DataWrite(Tcl_Interp* interp, int Type, Tk_PhotoImageBlock* blockPtr);
// Encodes an image into a file: Type, else the extension, else GIF.
// 1 when written and closed; 0 otherwise (the image's last error, or Tcl's
// message in the result).
int SaveToFile(Tcl_Interp* interp, Vistel* image, const char* fileName, int Type);

// Animation hand-over of a read: any animation playing in the photo stops
// once new pixels are in it, and data holding several frames starts a new
// one, playing endlessly.
void DetachAnimationOnRead(Tk_PhotoHandle imageHandle);
void AttachAnimationOnRead(Tcl_Interp* interp, Tk_PhotoHandle imageHandle, BYTE* data, int length,
                           long numFrames);

// ------------------------------------------------------------ animation

// The animation record of one animated photo.
struct gif_info {
    Vistel* image;              // all composed frames; owned
    Tcl_Interp* interp;         // interpreter that read the photo
    Tk_PhotoHandle Handle;      // the photo, key of the record
    Tk_ImageMaster ImageMaster; // token for telling Tk of changes
    unsigned int NumFrames;     // at least 2
    unsigned int CurrentFrame;  // frame to show
    int CopiedFrame;            // frame the photo holds now, -1 for none
    int Enabled;                // 1 while running
    Tcl_TimerToken timerToken;  // pending timer or null
    // The frame being put into the photo, as RGBA bytes, made again for
    // every frame: keeping every frame's bytes would hold another copy of
    // the whole animation, four bytes a pixel.
    VsMemFile* frameRgba;
    Tcl_Obj* name;              // photo's command name, watched for deletion
    bool copyPending;           // a frame copy waits for the idle loop
};

typedef std::list<gif_info*> ChainedList;
// Every animation record of the process, in order of insertion.
extern ChainedList animated_gifs;

ChainedList::iterator TkVistel_lstGetListItem(void* Handle);
gif_info* TkVistel_lstGetItem(void* Handle);
gif_info* TkVistel_lstAddItem(gif_info* item);
gif_info* TkVistel_lstDeleteItem(void* Handle);

// Timer procedure: advances the record to its next frame.
void AnimateGif(ClientData data);
// Puts the record's current frame into its photo.
int AnimatedGifFrameToTk(Tcl_Interp* interp, gif_info* Info, Vistel* frame, int blank);
// Idle procedure: puts the record's current frame into its photo once the
// display that noticed the change is over.
void CopyFrameWhenIdle(ClientData data);
// Makes the timer for `frame`'s delay (10 ms per unit, 40 ms for 0).
void ScheduleNextFrame(gif_info* Info, Vistel* frame);
// Drops the record's frame buffer (made again on next use).
void ReleaseFrameBuffer(gif_info* Info);

// Runs before every photo display in the process: puts an animated photo's
// current frame into it when the frame changed, then lets Tk draw.
void PhotoDisplayProcHook(ClientData instanceData, Display* display, Drawable drawable,
                          int imageX, int imageY, int width, int height, int drawableX,
                          int drawableY);

#endif
