// The photo codec on Windows: the pictures of each photo (thumbnails, screen-sized copies) by the
// Windows Imaging Component (windowscodecs, part of the system), reached through COM, which is
// loaded from the system folder only when a folder run decodes its first photo, so the program
// imports no more than before.
//
// Each photo is read whole into memory through the wide-character calls of the platform's call
// table (a device or anything but a file on disk is refused), its size taken from its header and
// refused above the pixel limit before WIC sees it, and decoded ONCE: its first frame (the primary
// image of a multi-image file) at the smallest size its decoder offers that still covers the
// largest picture wanted (JPEG decoders scale while decoding), converted from its embedded colour
// profile to sRGB, scaled to fit by the Fant filter and turned upright; each smaller picture is
// then scaled from that image in memory, and each is encoded as a JPEG of its own quality that
// carries no metadata. JPEG, PNG, GIF and TIFF decoders are part of every system; HEIF, AVIF and
// WebP ones come with Windows' extensions, and a photo without one is told as such. The
// orientation is the EXIF one read by photo_metadata.cpp (the same reader on every platform; WIC's
// own metadata readers differ between systems), else, for formats that reader does not know, what
// WIC's metadata says (HEIF's rotation and mirror, the TIFF tag). Photos run on threads of their
// own, each with its own factory; at most `threads` photos are in memory at once.
#include <initguid.h>
// initguid.h first: the GUIDs of wincodec.h are defined here, so no import library is linked.
#include <wincodec.h>
#include <wincodecsdk.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "photos/photo_codec.h"
#include "photos/photo_metadata.h"
#include "photos/photo_queue.h"
#include "platform/platform_win32.h"

// The decoder's own scaling, which this system's wincodec.h leaves out (as wincodec.idl has it).
struct IKestruneSourceTransform : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                               WICPixelFormatGUID* format,
                                               WICBitmapTransformOptions transform, UINT stride,
                                               UINT size, BYTE* buffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform,
                                                         BOOL* supported) = 0;
};
// IID_IWICBitmapSourceTransform
constexpr GUID kSourceTransformId = {
    0x3b16811b, 0x6a43, 0x4ec9, {0xb7, 0x13, 0x3d, 0x5a, 0x0c, 0x13, 0xb9, 0x40}};

namespace {

// COM, from ole32.dll in the system folder.
struct {
  HRESULT(WINAPI* initialize)(LPVOID, DWORD);
  void(WINAPI* uninitialize)();
  HRESULT(WINAPI* createInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
  HRESULT(WINAPI* createStreamOnHGlobal)(HGLOBAL, BOOL, LPSTREAM*);
  HRESULT(WINAPI* propVariantClear)(PROPVARIANT*);
} Com;

// A photo file larger than this is not read: it is held whole in memory while it is decoded.
constexpr long long kFileLimit = 256LL << 20;

// Holds one COM reference and releases it.
template <typename T>
struct Ref {
  T* p = nullptr;
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (p != nullptr) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
  T* get() const { return p; }
};

void Fail(KestrunePhotoJob* job, const char* what) {
  std::snprintf(job->failure, sizeof job->failure, "%s", what);
}

void FailWith(KestrunePhotoJob* job, const char* what, HRESULT result) {
  std::snprintf(job->failure, sizeof job->failure, "%s (error 0x%08lX)", what,
                static_cast<unsigned long>(result));
}

unsigned char* CopyOf(const std::string& bytes, std::size_t* size) {
  if (bytes.empty()) return nullptr;
  auto* copy = static_cast<unsigned char*>(std::malloc(bytes.size()));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, bytes.data(), bytes.size());
  *size = bytes.size();
  return copy;
}

// ---- Reading the photo, through the platform's call table (Win32Calls)

// The photo `job->photo` (UTF-8) opened for reading, shared with everyone; INVALID_HANDLE_VALUE,
// the job failed, when it cannot be.
HANDLE OpenPhoto(KestrunePhotoJob* job) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, job->photo, -1, nullptr, 0);
  std::wstring name(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
  if (length <= 0 ||
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, job->photo, -1, &name[0], length) <= 0) {
    Fail(job, "no name of a file");
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE file = Win32Calls.createFile(name.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    Fail(job, error == ERROR_ACCESS_DENIED ? "Permission denied" : "cannot be opened");
  }
  return file;
}

// The whole of the open `file` when it is a file on disk of 1 to kFileLimit bytes; false, the
// job failed, otherwise (a failed call says that the photo cannot be read, not what it is).
bool ReadWholeFile(HANDLE file, KestrunePhotoJob* job, std::string* bytes) {
  SetLastError(NO_ERROR);  // FILE_TYPE_UNKNOWN is a failure only with an error
  const DWORD type = Win32Calls.getFileType(file);
  const bool failed = type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR;
  if (type != FILE_TYPE_DISK && !failed) {
    Fail(job, "not a regular file");
    return false;
  }
  LARGE_INTEGER size{};
  if (failed || !Win32Calls.getFileSize(file, &size)) {
    Fail(job, "cannot be read");
    return false;
  }
  if (size.QuadPart == 0) {
    Fail(job, "empty file");
    return false;
  }
  if (size.QuadPart > kFileLimit) {
    Fail(job, "larger than a photo may be (256 MB), not read");
    return false;
  }
  bytes->resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t got = 0;
  DWORD n = 0;
  while (got < bytes->size() &&
         Win32Calls.readFile(file, &(*bytes)[got], static_cast<DWORD>(bytes->size() - got), &n,
                             nullptr) &&
         n > 0)
    got += n;
  bytes->resize(got);
  if (got == 0) Fail(job, "cannot be read");
  return got > 0;
}

// The whole photo, held in memory while it is decoded.
bool ReadPhoto(KestrunePhotoJob* job, std::string* bytes) {
  const HANDLE file = OpenPhoto(job);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool read = ReadWholeFile(file, job, bytes);
  Win32Calls.closeHandle(file);
  return read;
}

// ---- Looking at the photo's bytes before decoding

// True when a photo of width x height pixels is within the job's limit; otherwise the job fails
// with the size claimed (the program words the message).
bool WithinPixelLimit(KestrunePhotoJob* job, long long width, long long height) {
  if (width * height <= job->pixelLimit) return true;
  job->failureCode = kPhotoTooLarge;
  job->claimedWidth = width;
  job->claimedHeight = height;
  return false;
}

// The size the photo's header claims, checked before WIC sees the photo (a decoder may allocate
// for it at once); a header that tells no size passes, and the frame's size is checked later.
bool ClaimsAllowedSize(KestrunePhotoJob* job, const std::string& bytes) {
  long long width = 0, height = 0;
  return !PhotoPixelSize(bytes, &width, &height) || WithinPixelLimit(job, width, height);
}

// Hands the job the photo's EXIF block and XMP packet (of a JPEG or PNG, which kestrune reads
// itself), and returns the EXIF orientation that turns the photo upright: 0 when it has no EXIF
// block, so that WIC's metadata is asked instead.
int KeepMetadata(KestrunePhotoJob* job, const std::string& bytes) {
  std::string exif, xmp;
  FindPhotoMetadata(bytes, &exif, &xmp);
  job->exif = CopyOf(exif, &job->exifSize);
  job->xmp = CopyOf(xmp, &job->xmpSize);
  return exif.empty() ? 0 : ExifOrientation(exif);
}

// A JPEG cut short is refused as a whole, as libvips refuses it on Linux.
bool EndsWhole(KestrunePhotoJob* job, const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xD8") != 0 || JpegEndsWhole(bytes)) return true;
  Fail(job, "cannot be decoded: the file is cut short");
  return false;
}

// Whether the 4-byte brand at bytes[at] is one of `brands`.
bool BrandIn(const std::string& bytes, std::size_t at, std::initializer_list<const char*> brands) {
  for (const char* brand : brands)
    if (bytes.compare(at, 4, brand) == 0) return true;
  return false;
}

// The kind of an ISO media file (HEIF) by its major and compatible brands: "AVIF", "HEIC" (HEVC
// pictures) or "HEIF"; nullptr when it is none.
const char* HeifKindOf(const std::string& bytes) {
  if (bytes.size() < 16 || bytes.compare(4, 4, "ftyp") != 0) return nullptr;
  const std::size_t box = ReadNumber(bytes, 0, 4, true);
  const std::size_t end = box < bytes.size() ? box : bytes.size();
  const auto isAvif = [&bytes](std::size_t at) { return BrandIn(bytes, at, {"avif", "avis"}); };
  const auto isHeic = [&bytes](std::size_t at) {
    return BrandIn(bytes, at, {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs"});
  };
  if (isAvif(8)) return "AVIF";
  if (isHeic(8)) return "HEIC";
  for (std::size_t at = 16; at + 4 <= end; at += 4) {
    if (isAvif(at)) return "AVIF";
    if (isHeic(at)) return "HEIC";
  }
  return "HEIF";
}

// Why WIC has no decoder for a photo whose bytes say it is HEIF, AVIF or WebP (formats whose
// decoders come with Windows' extensions); false for any other file, which is then no photo.
bool NoDecoderFor(KestrunePhotoJob* job, const std::string& bytes) {
  const char* kind = HeifKindOf(bytes);
  const bool webp =
      bytes.size() >= 12 && bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 4, "WEBP") == 0;
  if (kind == nullptr && !webp) return false;
  const char* from = webp ? "the WebP Image Extensions from the Microsoft Store read"
                     : std::strcmp(kind, "AVIF") == 0
                         ? "the AV1 Video Extension from the Microsoft Store reads"
                         : "the HEIF Image Extensions and the HEVC Video "
                           "Extensions from the Microsoft Store read";
  std::snprintf(job->failure, sizeof job->failure,
                "no decoder for %s photos on this system (%s them)", webp ? "WebP" : kind, from);
  return true;
}

// ---- Decoding, scaling, turning and encoding

// The flips and turns that make a photo of EXIF orientation 1-8 upright, as WIC applies them.
WICBitmapTransformOptions UprightTransform(int orientation) {
  switch (orientation) {
    case 2:
      return WICBitmapTransformFlipHorizontal;
    case 3:
      return WICBitmapTransformRotate180;
    case 4:
      return WICBitmapTransformFlipVertical;
    case 5:
      return static_cast<WICBitmapTransformOptions>(WICBitmapTransformRotate270 |
                                                    WICBitmapTransformFlipHorizontal);
    case 6:
      return WICBitmapTransformRotate90;
    case 7:
      return static_cast<WICBitmapTransformOptions>(WICBitmapTransformRotate90 |
                                                    WICBitmapTransformFlipHorizontal);
    case 8:
      return WICBitmapTransformRotate270;
    default:
      return WICBitmapTransformRotate0;
  }
}

// The size that fits `width` x `height` into edge x edge, never enlarged: the longer side
// becomes the edge, the other is rounded, at least one pixel.
void FittedSize(UINT width, UINT height, int edge, UINT* fitWidth, UINT* fitHeight) {
  const UINT side = static_cast<UINT>(edge);
  if (width <= side && height <= side) {
    *fitWidth = width;
    *fitHeight = height;
  } else if (width >= height) {
    *fitWidth = side;
    *fitHeight = static_cast<UINT>(static_cast<double>(height) * side / width + 0.5);
  } else {
    *fitHeight = side;
    *fitWidth = static_cast<UINT>(static_cast<double>(width) * side / height + 0.5);
  }
  if (*fitWidth == 0) *fitWidth = 1;
  if (*fitHeight == 0) *fitHeight = 1;
}

// The frame decoded by its decoder at a reduced size that still covers fitWidth x fitHeight,
// where the decoder can (IWICBitmapSourceTransform); false to use the frame as it is.
bool DecodeReduced(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, UINT width,
                   UINT fitWidth, UINT fitHeight, IWICBitmap** reduced) {
  Ref<IKestruneSourceTransform> transform;
  if (FAILED(frame->QueryInterface(kSourceTransformId, reinterpret_cast<void**>(&transform))))
    return false;
  UINT w = fitWidth, h = fitHeight;
  BOOL rotates = FALSE;
  if (FAILED(transform->GetClosestSize(&w, &h)) || w >= width || w < fitWidth || h < fitHeight ||
      FAILED(transform->DoesSupportTransform(WICBitmapTransformRotate0, &rotates)) || !rotates)
    return false;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(transform->GetClosestPixelFormat(&format))) return false;
  UINT bytesPerPixel = 0;
  if (IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) bytesPerPixel = 3;
  if (IsEqualGUID(format, GUID_WICPixelFormat32bppBGR) ||
      IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA))
    bytesPerPixel = 4;
  if (IsEqualGUID(format, GUID_WICPixelFormat8bppGray)) bytesPerPixel = 1;
  if (bytesPerPixel == 0) return false;
  const UINT stride = (w * bytesPerPixel + 3) & ~3u;
  std::vector<BYTE> pixels(static_cast<std::size_t>(stride) * h);
  return SUCCEEDED(transform->CopyPixels(nullptr, w, h, &format, WICBitmapTransformRotate0, stride,
                                         static_cast<UINT>(pixels.size()), pixels.data())) &&
         SUCCEEDED(factory->CreateBitmapFromMemory(
             w, h, format, stride, static_cast<UINT>(pixels.size()), pixels.data(), reduced));
}

// The stored pixel (*sx, *sy) of a width x height image that shows at (x, y) once it is turned
// upright by EXIF orientation 1-8.
void StoredPixel(int orientation, UINT x, UINT y, UINT width, UINT height, UINT* sx, UINT* sy) {
  *sx = x;
  *sy = y;
  switch (orientation) {
    case 2:
      *sx = width - 1 - x;
      break;
    case 3:
      *sx = width - 1 - x;
      *sy = height - 1 - y;
      break;
    case 4:
      *sy = height - 1 - y;
      break;
    case 5:
      *sx = y;
      *sy = x;
      break;
    case 6:
      *sx = y;
      *sy = height - 1 - x;
      break;
    case 7:
      *sx = width - 1 - y;
      *sy = height - 1 - x;
      break;
    case 8:
      *sx = width - 1 - y;
      *sy = x;
      break;
    default:
      break;
  }
}

// `small` (24-bit BGR) turned upright into `out` (rows of `stride` bytes) pixel by pixel.
bool TurnByHand(IWICBitmap* small, int orientation, UINT stride, std::vector<BYTE>* out) {
  UINT width = 0, height = 0;
  if (FAILED(small->GetSize(&width, &height))) return false;
  const UINT from = (width * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(static_cast<std::size_t>(from) * height);
  if (FAILED(small->CopyPixels(nullptr, from, static_cast<UINT>(pixels.size()), pixels.data())))
    return false;
  const bool across = orientation >= 5;
  const UINT outWidth = across ? height : width, outHeight = across ? width : height;
  for (UINT y = 0; y < outHeight; ++y) {
    for (UINT x = 0; x < outWidth; ++x) {
      UINT sx = 0, sy = 0;
      StoredPixel(orientation, x, y, width, height, &sx, &sy);
      std::memcpy(&(*out)[static_cast<std::size_t>(y) * stride + x * 3],
                  &pixels[static_cast<std::size_t>(sy) * from + sx * 3], 3);
    }
  }
  return true;
}

// `small` (24-bit BGR) turned upright into `out` (rows of `stride` bytes) by WIC's flip-rotator.
// Where that cannot turn (Wine's flips rows only), the pixels are moved as the orientation says:
// a picture is at most a screen-sized copy, and the result must be the same on every system.
bool Turn(IWICImagingFactory* factory, IWICBitmap* small, int orientation, UINT stride,
          std::vector<BYTE>* out) {
  Ref<IWICBitmapFlipRotator> rotator;
  if (SUCCEEDED(factory->CreateBitmapFlipRotator(&rotator)) &&
      SUCCEEDED(rotator->Initialize(small, UprightTransform(orientation))) &&
      SUCCEEDED(rotator->CopyPixels(nullptr, stride, static_cast<UINT>(out->size()), out->data())))
    return true;
  return TurnByHand(small, orientation, stride, out);
}

// The first frame of a photo, decoded from its bytes in memory (which must outlive it), and its
// size as stored.
struct Frame {
  Ref<IWICStream> stream;
  Ref<IWICBitmapDecoder> decoder;
  Ref<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
};

// The photo's first frame and its size; false, the job failed, when WIC cannot decode it (and
// said so where the system lacks the decoder for the photo's format).
bool DecodeFrame(IWICImagingFactory* factory, std::string* bytes, KestrunePhotoJob* job,
                 Frame* decoded) {
  HRESULT result = factory->CreateStream(&decoded->stream);
  if (SUCCEEDED(result))
    result = decoded->stream->InitializeFromMemory(reinterpret_cast<BYTE*>(&(*bytes)[0]),
                                                   static_cast<DWORD>(bytes->size()));
  if (SUCCEEDED(result))
    result = factory->CreateDecoderFromStream(decoded->stream.get(), nullptr,
                                              WICDecodeMetadataCacheOnDemand, &decoded->decoder);
  if (result == WINCODEC_ERR_COMPONENTNOTFOUND && NoDecoderFor(job, *bytes)) return false;
  if (SUCCEEDED(result)) result = decoded->decoder->GetFrame(0, &decoded->frame);
  if (SUCCEEDED(result)) result = decoded->frame->GetSize(&decoded->width, &decoded->height);
  if (FAILED(result)) FailWith(job, "not a photo that can be decoded", result);
  return SUCCEEDED(result);
}

// A VT_UI2 value as an orientation, 0 for any other; the value is cleared.
int OrientationValue(PROPVARIANT* value) {
  const int orientation = value->vt == VT_UI2 ? value->uiVal : 0;
  Com.propVariantClear(value);
  return orientation;
}

// The HEIF decoder's metadata item that holds the orientation (WICHeifOrientation, which this
// system's wincodec.h leaves out).
constexpr USHORT kHeifOrientation = 1;

// HEIF's own rotation and mirror, as the HEIF decoder's metadata gives them (in EXIF's numbers;
// the decoder leaves its pixels unturned); 0 when the frame has none.
int HeifOrientation(IWICBitmapFrameDecode* frame) {
  Ref<IWICMetadataBlockReader> blocks;
  UINT count = 0;
  if (FAILED(
          frame->QueryInterface(IID_IWICMetadataBlockReader, reinterpret_cast<void**>(&blocks))) ||
      FAILED(blocks->GetCount(&count)))
    return 0;
  for (UINT i = 0; i < count; ++i) {
    Ref<IWICMetadataReader> reader;
    GUID format{};
    if (FAILED(blocks->GetReaderByIndex(i, &reader)) ||
        FAILED(reader->GetMetadataFormat(&format)) || !IsEqualGUID(format, GUID_MetadataFormatHeif))
      continue;
    PROPVARIANT id{}, value{};
    id.vt = VT_UI2;
    id.uiVal = kHeifOrientation;
    if (SUCCEEDED(reader->GetValue(nullptr, &id, &value))) return OrientationValue(&value);
  }
  return 0;
}

// The orientation tag of a TIFF frame's first directory, as WIC's metadata reads it; 0 when there
// is none.
int TiffOrientation(IWICBitmapFrameDecode* frame) {
  Ref<IWICMetadataQueryReader> query;
  PROPVARIANT value{};
  if (FAILED(frame->GetMetadataQueryReader(&query)) ||
      FAILED(query->GetMetadataByName(L"/ifd/{ushort=274}", &value)))
    return 0;
  return OrientationValue(&value);
}

// The orientation (1-8) of a photo whose EXIF block kestrune's reader did not find, from WIC's
// metadata; 1 when it tells none.
int FrameOrientation(IWICBitmapFrameDecode* frame) {
  int orientation = HeifOrientation(frame);
  if (orientation == 0) orientation = TiffOrientation(frame);
  return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// The colour profile embedded in the frame, in *profile; false when it has none WIC can read.
bool EmbeddedProfile(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame,
                     IWICColorContext** profile) {
  UINT count = 0;
  if (FAILED(frame->GetColorContexts(0, nullptr, &count)) || count == 0) return false;
  std::vector<IWICColorContext*> contexts(count, nullptr);
  bool created = true;
  for (IWICColorContext*& context : contexts)
    created = created && SUCCEEDED(factory->CreateColorContext(&context));
  UINT got = 0;
  if (created && SUCCEEDED(frame->GetColorContexts(count, contexts.data(), &got))) {
    for (UINT i = 0; i < got && i < count && *profile == nullptr; ++i) {
      WICColorContextType type = WICColorContextUninitialized;
      if (SUCCEEDED(contexts[i]->GetType(&type)) && type == WICColorContextProfile)
        std::swap(*profile, contexts[i]);
    }
  }
  for (IWICColorContext* context : contexts)
    if (context != nullptr) context->Release();
  return *profile != nullptr;
}

// `source` converted from the frame's embedded colour profile to sRGB (32-bit BGRA), in
// *converted; false when the frame has no profile, or one that cannot be converted: the photo is
// then taken as sRGB already, as libvips takes it on Linux.
bool ConvertToSrgb(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame,
                   IWICBitmapSource* source, IWICColorTransform** converted) {
  Ref<IWICColorContext> profile, srgb;
  Ref<IWICColorTransform> transform;
  if (!EmbeddedProfile(factory, frame, &profile) || FAILED(factory->CreateColorContext(&srgb)) ||
      FAILED(srgb->InitializeFromExifColorSpace(1)) ||  // 1: sRGB
      FAILED(factory->CreateColorTransformer(&transform)) ||
      FAILED(
          transform->Initialize(source, profile.get(), srgb.get(), GUID_WICPixelFormat32bppBGRA)))
    return false;
  std::swap(*converted, transform.p);
  return true;
}

// `source` scaled by the Fant filter to width x height in 32-bit BGRA (every decoder's pixels
// convert to it), then made one 24-bit BGR image in memory for JPEG.
HRESULT ScaleInto(IWICImagingFactory* factory, IWICBitmapSource* source, UINT width, UINT height,
                  IWICBitmap** scaled) {
  Ref<IWICFormatConverter> converter, toBgr;
  Ref<IWICBitmapScaler> scaler;
  HRESULT result = factory->CreateFormatConverter(&converter);
  if (SUCCEEDED(result))
    result = converter->Initialize(source, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom);
  if (SUCCEEDED(result)) result = factory->CreateBitmapScaler(&scaler);
  if (SUCCEEDED(result))
    result = scaler->Initialize(converter.get(), width, height, WICBitmapInterpolationModeFant);
  if (SUCCEEDED(result)) result = factory->CreateFormatConverter(&toBgr);
  if (SUCCEEDED(result))
    result = toBgr->Initialize(scaler.get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                               nullptr, 0.0, WICBitmapPaletteTypeCustom);
  // Made once in memory: a turn reads it column by column, and smaller pictures are made of it.
  if (SUCCEEDED(result))
    result = factory->CreateBitmapFromSource(toBgr.get(), WICBitmapCacheOnLoad, scaled);
  return result;
}

// The frame fitted into fitWidth x fitHeight as one 24-bit BGR image in memory, in sRGB: decoded
// at a reduced size where its decoder can, converted from its profile, then scaled. False, the job
// failed, otherwise.
bool Scale(IWICImagingFactory* factory, const Frame& decoded, UINT fitWidth, UINT fitHeight,
           KestrunePhotoJob* job, IWICBitmap** scaled) {
  Ref<IWICBitmap> reduced;
  Ref<IWICColorTransform> srgb;
  IWICBitmapSource* source = decoded.frame.get();
  if (DecodeReduced(factory, decoded.frame.get(), decoded.width, fitWidth, fitHeight, &reduced))
    source = reduced.get();
  if (ConvertToSrgb(factory, decoded.frame.get(), source, &srgb)) source = srgb.get();
  const HRESULT result = ScaleInto(factory, source, fitWidth, fitHeight, scaled);
  if (FAILED(result)) FailWith(job, "cannot be decoded", result);
  return SUCCEEDED(result);
}

// A picture as it is shown (24-bit BGR, upright, sRGB), and its size.
struct Picture {
  Ref<IWICBitmap> bitmap;
  UINT width = 0, height = 0;
};

// `scaled` (fitWidth x fitHeight, 24-bit BGR) turned upright by the orientation; false, the job
// failed, when it cannot be. An upright one is taken as it is.
bool TurnUpright(IWICImagingFactory* factory, Ref<IWICBitmap>* scaled, UINT fitWidth,
                 UINT fitHeight, int orientation, KestrunePhotoJob* job, Picture* picture) {
  const bool across = orientation >= 5;  // a quarter turn: width and height change places
  picture->width = across ? fitHeight : fitWidth;
  picture->height = across ? fitWidth : fitHeight;
  if (orientation <= 1) {
    std::swap(picture->bitmap.p, scaled->p);
    return true;
  }
  const UINT stride = (picture->width * 3 + 3) & ~3u;
  std::vector<BYTE> upright(static_cast<std::size_t>(stride) * picture->height);
  if (!Turn(factory, scaled->get(), orientation, stride, &upright)) {
    Fail(job, "the picture cannot be turned upright");
    return false;
  }
  const HRESULT result = factory->CreateBitmapFromMemory(
      picture->width, picture->height, GUID_WICPixelFormat24bppBGR, stride,
      static_cast<UINT>(upright.size()), upright.data(), &picture->bitmap);
  if (FAILED(result)) FailWith(job, "cannot be decoded", result);
  return SUCCEEDED(result);
}

// The bytes written to `stream` from its start.
HRESULT ReadBack(IStream* stream, std::string* bytes) {
  STATSTG stat{};
  HRESULT result = stream->Stat(&stat, STATFLAG_NONAME);
  if (SUCCEEDED(result) && stat.cbSize.QuadPart > 0x7FFFFFFF) result = E_OUTOFMEMORY;
  if (SUCCEEDED(result)) result = stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  if (FAILED(result)) return result;
  bytes->resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
  ULONG got = 0;
  result =
      bytes->empty() ? S_OK : stream->Read(&(*bytes)[0], static_cast<ULONG>(bytes->size()), &got);
  if (SUCCEEDED(result) && got != bytes->size()) result = E_FAIL;
  return result;
}

// The picture as a JPEG of `quality` (1 to 100) without metadata, encoded into memory that grows
// as it is written; false, the job failed, when it cannot be.
bool EncodeJpeg(IWICImagingFactory* factory, const Picture& picture, int quality,
                KestrunePhotoJob* job, std::string* jpeg) {
  Ref<IStream> out;
  Ref<IWICBitmapEncoder> encoder;
  Ref<IWICBitmapFrameEncode> encoded;
  Ref<IPropertyBag2> options;
  HRESULT result = Com.createStreamOnHGlobal(nullptr, TRUE, &out);
  if (SUCCEEDED(result))
    result = factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder);
  if (SUCCEEDED(result)) result = encoder->Initialize(out.get(), WICBitmapEncoderNoCache);
  if (SUCCEEDED(result)) result = encoder->CreateNewFrame(&encoded, &options);
  if (SUCCEEDED(result)) {
    PROPBAG2 option{};
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value{};
    value.vt = VT_R4;
    value.fltVal = static_cast<float>(quality) / 100.0f;
    options->Write(1, &option, &value);  // a codec without the option keeps its default
    result = encoded->Initialize(options.get());
  }
  if (SUCCEEDED(result)) result = encoded->SetSize(picture.width, picture.height);
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (SUCCEEDED(result)) result = encoded->SetPixelFormat(&format);
  if (SUCCEEDED(result)) result = encoded->WriteSource(picture.bitmap.get(), nullptr);
  if (SUCCEEDED(result)) result = encoded->Commit();
  if (SUCCEEDED(result)) result = encoder->Commit();
  if (SUCCEEDED(result)) result = ReadBack(out.get(), jpeg);
  if (FAILED(result)) FailWith(job, "the picture cannot be encoded", result);
  return SUCCEEDED(result);
}

// `wanted` made of `largest` (fitted into its edge, scaled from it where it is smaller), encoded
// and handed over; false, the job failed, when it cannot be.
bool MakePicture(IWICImagingFactory* factory, const Picture& largest, KestrunePicture* wanted,
                 KestrunePhotoJob* job) {
  Picture fitted;
  FittedSize(largest.width, largest.height, wanted->edge, &fitted.width, &fitted.height);
  const bool smaller = fitted.width != largest.width || fitted.height != largest.height;
  if (smaller) {
    const HRESULT result =
        ScaleInto(factory, largest.bitmap.get(), fitted.width, fitted.height, &fitted.bitmap);
    if (FAILED(result)) {
      FailWith(job, "cannot be decoded", result);
      return false;
    }
  }
  const Picture& picture = smaller ? fitted : largest;
  std::string jpeg;
  if (!EncodeJpeg(factory, picture, wanted->quality, job, &jpeg)) return false;
  wanted->jpeg = CopyOf(jpeg, &wanted->jpegSize);
  if (wanted->jpeg == nullptr) {
    Fail(job, "out of memory");
    return false;
  }
  wanted->made = 1;
  wanted->width = static_cast<int>(picture.width);
  wanted->height = static_cast<int>(picture.height);
  return true;
}

// Whether the photo, its longer side `longer` pixels (upright), calls for `picture`.
bool CallsFor(const KestrunePicture& picture, int longer) {
  return longer > picture.whenLongerThan;
}

// Every picture the photo calls for, from one decode of it fitted into the largest of them; a
// photo that calls for none is not decoded at all.
void MakePictures(IWICImagingFactory* factory, const Frame& decoded, int orientation,
                  KestrunePhotoJob* job) {
  const int longer = job->photoWidth > job->photoHeight ? job->photoWidth : job->photoHeight;
  int edge = 0;
  for (int p = 0; p < job->pictureCount && p < kPhotoMostPictures; ++p)
    if (CallsFor(job->pictures[p], longer) && job->pictures[p].edge > edge)
      edge = job->pictures[p].edge;
  if (edge > 0) {
    UINT fitWidth = 0, fitHeight = 0;
    FittedSize(decoded.width, decoded.height, edge, &fitWidth, &fitHeight);
    Picture largest;
    {
      Ref<IWICBitmap> scaled;  // gone once turned
      if (!Scale(factory, decoded, fitWidth, fitHeight, job, &scaled) ||
          !TurnUpright(factory, std::addressof(scaled), fitWidth, fitHeight, orientation, job,
                       &largest))
        return;
    }
    for (int p = 0; p < job->pictureCount && p < kPhotoMostPictures; ++p)
      if (CallsFor(job->pictures[p], longer) &&
          !MakePicture(factory, largest, &job->pictures[p], job))
        return;
  }
  job->made = 1;
}

// One photo's pictures, stage by stage; the first stage that fails says why in the job.
void MakeOne(IWICImagingFactory* factory, KestrunePhotoJob* job) {
  std::string bytes;
  if (!ReadPhoto(job, &bytes) || !ClaimsAllowedSize(job, bytes)) return;
  int orientation = KeepMetadata(job, bytes);
  Frame decoded;
  if (!EndsWhole(job, bytes) || !DecodeFrame(factory, &bytes, job, &decoded) ||
      !WithinPixelLimit(job, decoded.width, decoded.height))
    return;
  if (orientation == 0) orientation = FrameOrientation(decoded.frame.get());
  const bool across = orientation >= 5;
  job->photoWidth = static_cast<int>(across ? decoded.height : decoded.width);
  job->photoHeight = static_cast<int>(across ? decoded.width : decoded.height);
  MakePictures(factory, decoded, orientation, job);
}

// The jobs of the run in their order, and the threads making them.
struct Workers {
  PhotoQueue order;
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
  std::vector<HANDLE> threads;
} Jobs;

// The next job this worker may begin, waiting for one; false at the stop or at the end.
bool BeginNext(std::size_t* index) {
  AcquireSRWLockExclusive(&Jobs.lock);
  while (!WorkerMayGo(Jobs.order))
    SleepConditionVariableSRW(&Jobs.changed, &Jobs.lock, INFINITE, 0);
  const bool begun = BeginNextJob(&Jobs.order, index);
  ReleaseSRWLockExclusive(&Jobs.lock);
  return begun;
}

// Each worker has COM and a factory of its own for all the photos it makes.
DWORD WINAPI Work(LPVOID) {
  const bool started = SUCCEEDED(Com.initialize(nullptr, COINIT_MULTITHREADED));
  IWICImagingFactory* factory = nullptr;
  const HRESULT created =
      Com.createInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWICImagingFactory, reinterpret_cast<void**>(&factory));
  for (std::size_t i = 0; BeginNext(&i);) {
    if (FAILED(created))
      FailWith(&Jobs.order.jobs[i], "the Windows Imaging Component cannot be started", created);
    else
      MakeOne(factory, &Jobs.order.jobs[i]);
    AcquireSRWLockExclusive(&Jobs.lock);
    Jobs.order.done[i] = 1;
    ReleaseSRWLockExclusive(&Jobs.lock);
    WakeAllConditionVariable(&Jobs.changed);
  }
  if (factory != nullptr) factory->Release();
  if (started) Com.uninitialize();
  return 0;
}

// The photos are read through the call table (Win32Calls): `files` is not used.
void Start(const KestrunePhotoFiles*, KestrunePhotoJob* jobs, std::size_t count, unsigned threads,
           std::size_t ahead) {
  ResetQueue(&Jobs.order, jobs, count, ahead);
  for (unsigned t = 0; t < (threads < 1 ? 1 : threads) && t < count; ++t) {
    const HANDLE worker = CreateThread(nullptr, 0, Work, nullptr, 0, nullptr);
    if (worker != nullptr) Jobs.threads.push_back(worker);
  }
}

void Wait(std::size_t index) {
  AcquireSRWLockExclusive(&Jobs.lock);
  if (MarkWaited(&Jobs.order, index, !Jobs.threads.empty())) {
    WakeAllConditionVariable(&Jobs.changed);
    while (!Jobs.order.done[index])
      SleepConditionVariableSRW(&Jobs.changed, &Jobs.lock, INFINITE, 0);
  }
  ReleaseSRWLockExclusive(&Jobs.lock);
}

void Stop() {
  AcquireSRWLockExclusive(&Jobs.lock);
  Jobs.order.stopping = true;
  ReleaseSRWLockExclusive(&Jobs.lock);
  WakeAllConditionVariable(&Jobs.changed);
  for (HANDLE worker : Jobs.threads) {
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
  }
  Jobs.threads.clear();
  ResetQueue(&Jobs.order, nullptr, 0, 1);
}

void Release(KestrunePhotoJob* job) {
  for (int p = 0; p < job->pictureCount && p < kPhotoMostPictures; ++p) {
    std::free(job->pictures[p].jpeg);
    job->pictures[p].jpeg = nullptr;
    job->pictures[p].jpegSize = 0;
  }
  std::free(job->exif);
  std::free(job->xmp);
  job->exif = job->xmp = nullptr;
  job->exifSize = job->xmpSize = 0;
}

// The run's threads are joined by Stop: nothing runs on at the end.
void Finish() {}

const KestrunePhotoCodec kCodec{kPhotoCodecVersion, Start, Wait, Stop, Release, Finish};

}  // namespace

const KestrunePhotoCodec* KestruneOpenPhotoCodec() {
  static const bool started = [] {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const HMODULE ole = LoadLibraryW((std::wstring(folder, length) + L"\\ole32.dll").c_str());
    if (ole == nullptr) return false;
    Com.initialize = reinterpret_cast<decltype(Com.initialize)>(
        reinterpret_cast<void*>(GetProcAddress(ole, "CoInitializeEx")));
    Com.uninitialize = reinterpret_cast<decltype(Com.uninitialize)>(
        reinterpret_cast<void*>(GetProcAddress(ole, "CoUninitialize")));
    Com.createInstance = reinterpret_cast<decltype(Com.createInstance)>(
        reinterpret_cast<void*>(GetProcAddress(ole, "CoCreateInstance")));
    Com.createStreamOnHGlobal = reinterpret_cast<decltype(Com.createStreamOnHGlobal)>(
        reinterpret_cast<void*>(GetProcAddress(ole, "CreateStreamOnHGlobal")));
    Com.propVariantClear = reinterpret_cast<decltype(Com.propVariantClear)>(
        reinterpret_cast<void*>(GetProcAddress(ole, "PropVariantClear")));
    return Com.initialize != nullptr && Com.uninitialize != nullptr &&
           Com.createInstance != nullptr && Com.createStreamOnHGlobal != nullptr &&
           Com.propVariantClear != nullptr;
  }();
  return started ? &kCodec : nullptr;
}
