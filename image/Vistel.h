// Vistel: the library's image. A device-independent bitmap (40-byte header,
// palette for 1, 4 and 8 bits per pixel, bottom-up rows padded to 4 bytes)
// with an optional 8-bit alpha plane and the info block that carries format,
// last error, transparency, frame data, resolution and codec options.
//
// Operations return bool (or a null pointer) on failure and leave the reason
// in GetLastError(); nothing is thrown out of the library. Pixel coordinates
// have x = 0 at the left and y = 0 at the bottom row.
#ifndef VISTEL_VISTEL_H
#define VISTEL_VISTEL_H

#include <cstdio>
#include <vector>

#include "SafeSize.h"
#include "VsFile.h"
#include "VsTypes.h"

class Vistel;

// Resizing of pixel blocks (transform/PixelResize.h), which the filtered
// resampling and thumbnails go through.
namespace vsresize {
struct Rgba;
enum class Filter;
enum class Outcome;
}  // namespace vsresize

struct tagVistelInfo {
    DWORD dwEffWidth;        // bytes per pixel row, padded to 4
    BYTE* pImage;            // first (bottom) pixel row inside pDib
    Vistel* pGhost;          // non-null: this object is a view of that image
    Vistel* pParent;         // image of which this one is a layer (unused)
    DWORD dwType;            // ENUM_VISTEL_FORMATS
    char szLastError[256];   // text of the last error
    long nProgress;          // percent of rows done by a long operation
    long nEscape;            // non-zero: stop early; -1 asks decoders for the header only
    long nBkgndIndex;        // transparent palette index, -1 = none
    RGBQUAD nBkgndColor;     // transparent colour without a usable index
    int m_dispmeth;          // GIF disposal method of this frame
    BYTE nQuality;           // JPEG quality
    BYTE nJpegScale;         // JPEG decoding scale
    long nFrame;             // frame to decode, from 0
    long nNumFrames;         // frames the decoded file shows
    DWORD dwFrameDelay;      // GIF delay in hundredths of a second
    long xDPI;               // resolution; 0 when the file states none
    long yDPI;
    RECT rSelectionBox;
    BYTE nAlphaMax;
    bool bAlphaPaletteEnabled;
    bool bEnabled;
    long xOffset;            // position inside a larger canvas (GIF frames)
    long yOffset;
    DWORD dwCodecOpt[CMAX_IMAGE_FORMATS];
    RGBQUAD last_c;          // nearest-colour cache
    BYTE last_c_index;
    bool last_c_isvalid;
    long nNumLayers;
    DWORD dwFlags;
};

class Vistel {
public:
    struct rgb_color {
        BYTE r, g, b;
    };

    // ------------------------------------------------ life cycle
    explicit Vistel(DWORD imagetype = 0);
    Vistel(DWORD dwWidth, DWORD dwHeight, DWORD wBpp, DWORD imagetype = 0);
    Vistel(const Vistel& src, bool copypixels = true, bool copyselection = true,
           bool copyalpha = true);
    virtual ~Vistel();
    Vistel& operator=(const Vistel& src);

    BYTE* Create(DWORD dwWidth, DWORD dwHeight, DWORD wBpp, DWORD imagetype = 0);
    bool Destroy();
    void Copy(const Vistel& src, bool copypixels = true, bool copyselection = true,
              bool copyalpha = true);
    void CopyInfo(const Vistel& src);
    bool Transfer(Vistel& from);
    void Ghost(Vistel* from);
    bool IsValid() const { return pDib != nullptr; }
    void Clear(BYTE bval = 0);
    bool IsInside(long x, long y) const;
    static void FreeMemory(void* memblock);

    // ------------------------------------------------ accessors
    BYTE* GetDIB() const { return pDib; }
    DWORD GetSize() const;
    BYTE* GetBits(DWORD row = 0) const;
    DWORD GetWidth() const { return (DWORD)head.biWidth; }
    DWORD GetHeight() const { return (DWORD)head.biHeight; }
    DWORD GetEffWidth() const { return info.dwEffWidth; }
    WORD GetBpp() const { return head.biBitCount; }
    DWORD GetNumColors() const { return head.biClrUsed; }
    bool IsIndexed() const { return head.biClrUsed != 0; }
    BYTE GetColorType() const;
    DWORD GetType() const { return info.dwType; }
    const char* GetLastError() const { return info.szLastError; }
    // Dots per inch; 0 when not known. Setting 0 or less makes it unknown.
    long GetXDPI() const { return info.xDPI; }
    long GetYDPI() const { return info.yDPI; }
    void SetXDPI(long dpi);
    void SetYDPI(long dpi);
    // The EXIF and comment segments of the JPEG file the image was decoded
    // from, as stored there (marker, length and payload, one after the
    // other), for a JPEG written from it to carry again. A new picture made
    // from the image (a depth change, a transform) starts without them.
    const std::vector<BYTE>& GetJpegSegments() const { return jpegSegments; }
    void SetJpegSegments(std::vector<BYTE> segments) { jpegSegments = std::move(segments); }
    DWORD GetFlags() const { return info.dwFlags; }
    void SetFlags(DWORD flags, bool bLockReservedFlags = true);
    DWORD GetCodecOption(DWORD imagetype = 0) const;
    bool SetCodecOption(DWORD opt, DWORD imagetype = 0);
    long GetTransIndex() const { return info.nBkgndIndex; }
    void SetTransIndex(long idx) { info.nBkgndIndex = idx; }
    bool IsTransparent() const { return info.nBkgndIndex >= 0; }
    RGBQUAD GetTransColor();
    void SetTransColor(RGBQUAD rgb);
    int GetDisposalMethod() const { return info.m_dispmeth; }
    void SetDisposalMethod(int dm) { info.m_dispmeth = dm; }
    BYTE GetJpegQuality() const { return info.nQuality; }
    void SetJpegQuality(BYTE q) { info.nQuality = q; }
    BYTE GetJpegScale() const { return info.nJpegScale; }
    void SetJpegScale(BYTE s) { info.nJpegScale = s; }
    DWORD GetFrameDelay() const { return info.dwFrameDelay; }
    void SetFrameDelay(DWORD d) { info.dwFrameDelay = d; }
    void GetOffset(long* x, long* y) const;
    void SetOffset(long x, long y);
    long GetProgress() const { return info.nProgress; }
    void SetProgress(long p) { info.nProgress = p; }
    long GetEscape() const { return info.nEscape; }
    void SetEscape(long e) { info.nEscape = e; }
    bool IsEnabled() const { return info.bEnabled; }
    void Enable(bool enable = true) { info.bEnabled = enable; }
    long GetNumFrames() const { return info.nNumFrames; }
    long GetFrame() const { return info.nFrame; }
    void SetFrame(long nFrame) { info.nFrame = nFrame; }
    static const char* GetVersion();
    static float GetVersionNumber();

    bool IsGhost() const { return info.pGhost != nullptr; }

    // ------------------------------------------------ codecs
    // A codec is a subclass for one file type: Decode reads that type into
    // the codec object, Encode writes the image it views (see Ghost). The
    // plain image knows no file type; the dispatch over the types is
    // formats/Formats.h.
    virtual bool Decode(VsFile* hFile);
    virtual bool Encode(VsFile* hFile);
    // True, with the reason set, when there is nothing to encode or nowhere
    // to write it.
    bool EncodeSafeCheck(VsFile* hFile);

    // ------------------------------------------------ raw export
    // The pixels as red, green, blue, alpha bytes, top row first.
    bool Encode2RGBA(VsFile* hFile);
    bool Encode2RGBA(BYTE*& buffer, long& size);

    // ------------------------------------------------ palette
    RGBQUAD* GetPalette() const;
    DWORD GetPaletteSize() const { return head.biClrUsed * 4; }
    RGBQUAD GetPaletteColor(BYTE idx);
    bool GetPaletteColor(BYTE i, BYTE* r, BYTE* g, BYTE* b);
    void SetPaletteColor(BYTE idx, BYTE r, BYTE g, BYTE b, BYTE alpha = 0);
    void SetPaletteColor(BYTE idx, RGBQUAD c);
    void SetPaletteColor(BYTE idx, COLORREF cr);
    void SetPalette(RGBQUAD* pPal, DWORD nColors = 256);
    void SetPalette(DWORD n, BYTE* r, BYTE* g = nullptr, BYTE* b = nullptr);
    void SetPalette(rgb_color* rgb, DWORD nColors = 256);
    void SetGrayPalette();
    void SetStdPalette();
    void BlendPalette(COLORREF cr, long perc);
    bool IsGrayScale();
    bool IsSamePalette(Vistel& img, bool bCheckAlpha = true);
    void SwapIndex(BYTE idx1, BYTE idx2);
    DWORD GetClrImportant() const { return head.biClrImportant; }
    void SetClrImportant(DWORD ncolors = 0);

    // ------------------------------------------------ pixels
    BYTE GetPixelIndex(long x, long y);
    BYTE BlindGetPixelIndex(long x, long y);
    void SetPixelIndex(long x, long y, BYTE i);
    RGBQUAD GetPixelColor(long x, long y, bool bGetAlpha = true);
    RGBQUAD BlindGetPixelColor(long x, long y);
    BYTE GetPixelGray(long x, long y);
    void SetPixelColor(long x, long y, RGBQUAD c, bool bSetAlpha = false);
    void SetPixelColor(long x, long y, COLORREF cr);
    void BlendPixelColor(long x, long y, RGBQUAD c, float blend, bool bSetAlpha = false);
    BYTE* BlindGetPixelPointer(long x, long y);
    bool IsTransparent(long x, long y);
    BYTE GetNearestIndex(RGBQUAD c);
    void RGBtoBGR(BYTE* buffer, int length);
    void DrawLine(int StartX, int EndX, int StartY, int EndY, RGBQUAD color,
                  bool bSetAlpha = false);
    void DrawLine(int StartX, int EndX, int StartY, int EndY, COLORREF cr);
    static BYTE RGB2GRAY(BYTE r, BYTE g, BYTE b)
    {
        return (BYTE)(((unsigned)b * 117 + (unsigned)g * 601 + (unsigned)r * 306) >> 10);
    }

    // ------------------------------------------------ alpha
    bool AlphaIsValid() const { return pAlpha != nullptr; }
    void AlphaCreate();
    void AlphaDelete();
    void AlphaClear();
    void AlphaSet(BYTE level);
    void AlphaInvert();
    void AlphaSet(long x, long y, BYTE level);
    BYTE AlphaGet(long x, long y);
    BYTE BlindAlphaGet(long x, long y);
    BYTE* AlphaGetPointer(long x = 0, long y = 0);
    BYTE AlphaGetMax() const { return info.nAlphaMax; }
    void AlphaSetMax(BYTE nAlphaMax) { info.nAlphaMax = nAlphaMax; }
    bool AlphaCopy(Vistel& from);
    bool AlphaSet(Vistel& from);
    bool AlphaFlip();
    bool AlphaMirror();
    void AlphaPaletteEnable(bool enable = true) { info.bAlphaPaletteEnabled = enable; }
    bool AlphaPaletteIsEnabled() const { return info.bAlphaPaletteEnabled; }
    bool AlphaPaletteIsValid();
    void AlphaPaletteClear();
    bool AlphaSplit(Vistel* dest);
    bool AlphaPaletteSplit(Vistel* dest);

    // ------------------------------------------------ colour depth and construction
    bool CreateFromArray(BYTE* pArray, DWORD dwWidth, DWORD dwHeight, DWORD dwBitsperpixel,
                         DWORD dwBytesperline, bool bFlipImage);
    bool CreateFromMatrix(BYTE** ppMatrix, DWORD dwWidth, DWORD dwHeight, DWORD dwBitsperpixel,
                          DWORD dwBytesperline, bool bFlipImage);
    void Bitfield2RGB(BYTE* src, WORD redmask, WORD greenmask, WORD bluemask, BYTE bpp);
    bool DecreaseBpp(DWORD nbit, bool errordiffusion, RGBQUAD* ppal = nullptr,
                     DWORD clrimportant = 0);
    bool IncreaseBpp(DWORD nbit);
    bool GrayScale();
    bool Negative();
    bool Dither(long method = 0);

    // ------------------------------------------------ crop, flip and mirror
    bool Crop(long left, long top, long right, long bottom, Vistel* iDst = nullptr);
    bool Crop(const RECT& rect, Vistel* iDst = nullptr);
    bool Flip();
    bool Mirror();

    // ------------------------------------------------ resampling and thumbnails
    // Mode 1 takes the nearest pixel; modes 0 (bilinear) and 2 (bicubic), as
    // Thumbnail, filter through transform/PixelResize and give true colour.
    bool Resample(long newx, long newy, int mode = 1, Vistel* iDst = nullptr);
    bool QIShrink(long newx, long newy, Vistel* iDst = nullptr);
    bool Expand(long left, long top, long right, long bottom, RGBQUAD canvascolor,
                Vistel* iDst = nullptr);
    bool Expand(long newx, long newy, RGBQUAD canvascolor, Vistel* iDst = nullptr);
    bool Thumbnail(long newx, long newy, RGBQUAD canvascolor, Vistel* iDst = nullptr);

    // ------------------------------------------------ interpolation
    enum InterpolationMethod {
        IM_NEAREST_NEIGHBOUR = 1, IM_BILINEAR = 2, IM_BSPLINE = 3, IM_BICUBIC = 4,
        IM_BICUBIC2 = 5, IM_LANCZOS = 6, IM_BOX = 7, IM_HERMITE = 8, IM_HAMMING = 9,
        IM_SINC = 10, IM_BLACKMAN = 11, IM_BESSEL = 12, IM_GAUSSIAN = 13,
        IM_QUADRATIC = 14, IM_MITCHELL = 15, IM_CATROM = 16
    };
    // What a sample outside the image yields.
    enum OverflowMethod {
        OM_COLOR = 1, OM_BACKGROUND = 2, OM_TRANSPARENT = 3, OM_WRAP = 4, OM_REPEAT = 5,
        OM_MIRROR = 6
    };
    static float KernelLinear(float x);
    static float KernelBSpline(float x);
    static float KernelCubic(float t);
    static float KernelGeneralizedCubic(float t, float a = -1);
    static float KernelLanczosSinc(float t, float r = 3);
    static float KernelBox(float x);
    static float KernelHermite(float x);
    static float KernelHamming(float x);
    static float KernelSinc(float x);
    static float KernelBlackman(float x);
    static float KernelBessel_J1(float x);
    static float KernelBessel_P1(float x);
    static float KernelBessel_Q1(float x);
    static float KernelBessel_Order1(float x);
    static float KernelBessel(float x);
    static float KernelGaussian(float x);
    static float KernelQuadratic(float x);
    static float KernelMitchell(float x);
    static float KernelCatrom(float x);
    void OverflowCoordinates(long& x, long& y, OverflowMethod ofMethod);
    void OverflowCoordinates(float& x, float& y, OverflowMethod ofMethod);
    RGBQUAD GetPixelColorWithOverflow(long x, long y, OverflowMethod ofMethod = OM_BACKGROUND,
                                      RGBQUAD* rplColor = nullptr);
    RGBQUAD GetPixelColorInterpolated(float x, float y,
                                      InterpolationMethod inMethod = IM_BILINEAR,
                                      OverflowMethod ofMethod = OM_BACKGROUND,
                                      RGBQUAD* rplColor = nullptr);
    RGBQUAD GetAreaColorInterpolated(float xc, float yc, float w, float h,
                                     InterpolationMethod inMethod,
                                     OverflowMethod ofMethod = OM_BACKGROUND,
                                     RGBQUAD* rplColor = nullptr);
    void AddAveragingCont(const RGBQUAD& color, float surf, float& rr, float& gg, float& bb,
                          float& aa);
    bool Resample2(long newx, long newy, InterpolationMethod inMethod = IM_BICUBIC2,
                   OverflowMethod ofMethod = OM_REPEAT, Vistel* iDst = nullptr,
                   bool disableAveraging = false);

    // ------------------------------------------------ geometric transforms
    // Angles in degrees turn the picture clockwise as displayed.
    bool RotateLeft(Vistel* iDst = nullptr);
    bool RotateRight(Vistel* iDst = nullptr);
    bool Rotate180(Vistel* iDst = nullptr);
    bool Rotate(float angle, Vistel* iDst = nullptr);
    bool Rotate2(float angle, Vistel* iDst = nullptr, InterpolationMethod inMethod = IM_BILINEAR,
                 OverflowMethod ofMethod = OM_BACKGROUND, RGBQUAD* replColor = nullptr,
                 bool optimizeRightAngles = true, bool bKeepOriginalSize = false);
    // angle in radians.
    bool CropRotatedRectangle(long topx, long topy, long width, long height, float angle,
                              Vistel* iDst = nullptr);
    bool Skew(float xgain, float ygain, long xpivot = 0, long ypivot = 0,
              bool bEnableInterpolation = false);
    // type 0 pinch, 1 punch, 2 swirl, 3 polar unwrap, 4 and above bathroom
    // tiles; a negative type is refused.
    bool CircleTransform(int type, long rmax = 0, float Koeff = 1.0f);

    // Writes a message into szLastError (truncated to 255 characters).
    void SetLastError(const char* text);

protected:
    void Startup(DWORD imagetype);
    // Moves a finished work image into iDst, or into this image.
    bool TransferResult(Vistel& result, Vistel* iDst);
    // RotateLeft (counter-clockwise) and RotateRight (clockwise).
    bool QuarterTurn(bool clockwise, Vistel* iDst);
    // Resample modes 0 (bilinear) and 2 (bicubic) through PixelResize.
    bool ResampleFiltered(long newx, long newy, vsresize::Filter filter, Vistel* iDst);
    // This image when in true colour, else `copy` made a true-colour copy
    // of it; null with the reason set when that fails.
    Vistel* TrueColour(Vistel& copy);
    // Moves a PixelResize result into iDst or this image, as true colour
    // with an alpha plane when this image has one; a failed outcome's
    // message becomes the last error.
    bool TakePicture(vsresize::Outcome outcome, const vsresize::Rgba& picture, Vistel* iDst);
    // An empty work image of this type, info block and palette and of this
    // depth (or `bpp`), with an alpha plane when withAlpha; false with the
    // reason set on failure.
    bool MakeWorkImage(Vistel& work, DWORD width, DWORD height, bool withAlpha, DWORD bpp = 0);

    BYTE* pDib;
    BITMAPINFOHEADER head;
    tagVistelInfo info;
    BYTE* pSelection;
    BYTE* pAlpha;
    Vistel** pLayers;
    std::vector<BYTE> jpegSegments;
};

#endif
