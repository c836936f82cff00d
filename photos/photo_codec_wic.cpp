// The photo codec on Windows: thumbnails by the Windows Imaging Component (windowscodecs, part of
// the system), reached through COM, which is loaded from the system folder only when a folder run
// makes its first thumbnail, so the program imports no more than before.
//
// Each photo is read whole into memory through the wide-character calls of the platform's call
// table (a device or anything but a file on disk is refused), its size taken from its header and
// refused above the pixel limit before WIC sees it, then decoded at the smallest size its decoder
// offers that still covers the thumbnail (JPEG decoders scale while decoding), scaled to fit by the
// Fant filter, turned upright by the EXIF orientation (read by photo_metadata.cpp, the same reader
// on every platform; WIC's own metadata readers differ between systems) and encoded as a JPEG that
// carries no metadata. Photos run on threads of their own, each with its own factory; at most
// `threads` photos are in memory at once.
#include <initguid.h>
// initguid.h first: the GUIDs of wincodec.h are defined here, so no import library is linked.
#include <wincodec.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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
} Com;

// A photo file larger than this is not read: it is held whole in memory while it is decoded.
constexpr long long kFileLimit = 256LL << 20;
// The thumbnails' JPEG quality, as WIC's encoder option takes it.
constexpr float kJpegQuality = 0.85f;

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

// True when a photo of width x height pixels is within the job's limit; otherwise the job fails,
// saying so.
bool WithinPixelLimit(KestrunePhotoJob* job, long long width, long long height) {
  if (width * height <= job->pixelLimit) return true;
  std::snprintf(job->failure, sizeof job->failure,
                "claims %lldx%lld pixels, more than a photo may have (%lld million)", width, height,
                job->pixelLimit / 1000000);
  return false;
}

// The size the photo's header claims, checked before WIC sees the photo (a decoder may allocate
// for it at once); a header that tells no size passes, and the frame's size is checked later.
bool ClaimsAllowedSize(KestrunePhotoJob* job, const std::string& bytes) {
  long long width = 0, height = 0;
  return !PhotoPixelSize(bytes, &width, &height) || WithinPixelLimit(job, width, height);
}

// Hands the job the photo's EXIF block and XMP packet, and returns the EXIF orientation that
// turns the thumbnail upright.
int KeepMetadata(KestrunePhotoJob* job, const std::string& bytes) {
  std::string exif, xmp;
  FindPhotoMetadata(bytes, &exif, &xmp);
  job->exif = CopyOf(exif, &job->exifSize);
  job->xmp = CopyOf(xmp, &job->xmpSize);
  return ExifOrientation(exif);
}

// A JPEG cut short is refused as a whole, as libvips refuses it on Linux.
bool EndsWhole(KestrunePhotoJob* job, const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xD8") != 0 || JpegEndsWhole(bytes)) return true;
  Fail(job, "cannot be decoded: the file is cut short");
  return false;
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
// a thumbnail is small, and the result must be the same on every system.
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
// size.
struct Frame {
  Ref<IWICStream> stream;
  Ref<IWICBitmapDecoder> decoder;
  Ref<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
};

// The photo's first frame and its size; false, the job failed, when WIC cannot decode it.
bool DecodeFrame(IWICImagingFactory* factory, std::string* bytes, KestrunePhotoJob* job,
                 Frame* decoded) {
  HRESULT result = factory->CreateStream(&decoded->stream);
  if (SUCCEEDED(result))
    result = decoded->stream->InitializeFromMemory(reinterpret_cast<BYTE*>(&(*bytes)[0]),
                                                   static_cast<DWORD>(bytes->size()));
  if (SUCCEEDED(result))
    result = factory->CreateDecoderFromStream(decoded->stream.get(), nullptr,
                                              WICDecodeMetadataCacheOnDemand, &decoded->decoder);
  if (SUCCEEDED(result)) result = decoded->decoder->GetFrame(0, &decoded->frame);
  if (SUCCEEDED(result)) result = decoded->frame->GetSize(&decoded->width, &decoded->height);
  if (FAILED(result)) FailWith(job, "not a photo that can be decoded", result);
  return SUCCEEDED(result);
}

// The frame fitted into fitWidth x fitHeight as one small 24-bit BGR image in memory: decoded at
// a reduced size where its decoder can, scaled by the Fant filter in 32-bit BGRA (every decoder's
// pixels convert to it), then made 24-bit BGR for JPEG. False, the job failed, otherwise.
bool Scale(IWICImagingFactory* factory, const Frame& decoded, UINT fitWidth, UINT fitHeight,
           KestrunePhotoJob* job, IWICBitmap** scaled) {
  Ref<IWICBitmap> reduced;
  IWICBitmapSource* source = decoded.frame.get();
  if (DecodeReduced(factory, decoded.frame.get(), decoded.width, fitWidth, fitHeight, &reduced))
    source = reduced.get();
  Ref<IWICFormatConverter> converter, toBgr;
  Ref<IWICBitmapScaler> scaler;
  HRESULT result = factory->CreateFormatConverter(&converter);
  if (SUCCEEDED(result))
    result = converter->Initialize(source, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom);
  if (SUCCEEDED(result)) result = factory->CreateBitmapScaler(&scaler);
  if (SUCCEEDED(result))
    result =
        scaler->Initialize(converter.get(), fitWidth, fitHeight, WICBitmapInterpolationModeFant);
  if (SUCCEEDED(result)) result = factory->CreateFormatConverter(&toBgr);
  if (SUCCEEDED(result))
    result = toBgr->Initialize(scaler.get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                               nullptr, 0.0, WICBitmapPaletteTypeCustom);
  // The small image is made once, then turned: a turn reads its source column by column.
  if (SUCCEEDED(result))
    result = factory->CreateBitmapFromSource(toBgr.get(), WICBitmapCacheOnLoad, scaled);
  if (FAILED(result)) FailWith(job, "cannot be decoded", result);
  return SUCCEEDED(result);
}

// The thumbnail as it is shown, and its size.
struct Thumbnail {
  Ref<IWICBitmap> bitmap;
  UINT width = 0, height = 0;
};

// `scaled` (fitWidth x fitHeight, 24-bit BGR) turned upright by the EXIF orientation; false, the
// job failed, when it cannot be.
bool TurnUpright(IWICImagingFactory* factory, IWICBitmap* scaled, UINT fitWidth, UINT fitHeight,
                 int orientation, KestrunePhotoJob* job, Thumbnail* thumbnail) {
  const bool across = orientation >= 5;  // a quarter turn: width and height change places
  thumbnail->width = across ? fitHeight : fitWidth;
  thumbnail->height = across ? fitWidth : fitHeight;
  const UINT stride = (thumbnail->width * 3 + 3) & ~3u;
  std::vector<BYTE> upright(static_cast<std::size_t>(stride) * thumbnail->height);
  if (!Turn(factory, scaled, orientation, stride, &upright)) {
    Fail(job, "the thumbnail cannot be turned upright");
    return false;
  }
  const HRESULT result = factory->CreateBitmapFromMemory(
      thumbnail->width, thumbnail->height, GUID_WICPixelFormat24bppBGR, stride,
      static_cast<UINT>(upright.size()), upright.data(), &thumbnail->bitmap);
  if (FAILED(result)) FailWith(job, "cannot be decoded", result);
  return SUCCEEDED(result);
}

// The thumbnail as a JPEG of `quality` (0 to 1) without metadata, encoded into memory; false,
// the job failed, when it cannot be.
bool EncodeJpeg(IWICImagingFactory* factory, const Thumbnail& thumbnail, float quality,
                KestrunePhotoJob* job, std::string* jpeg) {
  // A thumbnail of edge x edge pixels takes far less than this.
  std::vector<BYTE> out(static_cast<std::size_t>(thumbnail.width) * thumbnail.height * 6 + 65536);
  Ref<IWICStream> outStream;
  Ref<IWICBitmapEncoder> encoder;
  Ref<IWICBitmapFrameEncode> encoded;
  Ref<IPropertyBag2> options;
  HRESULT result = factory->CreateStream(&outStream);
  if (SUCCEEDED(result))
    result = outStream->InitializeFromMemory(out.data(), static_cast<DWORD>(out.size()));
  if (SUCCEEDED(result))
    result = factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder);
  if (SUCCEEDED(result)) result = encoder->Initialize(outStream.get(), WICBitmapEncoderNoCache);
  if (SUCCEEDED(result)) result = encoder->CreateNewFrame(&encoded, &options);
  if (SUCCEEDED(result)) {
    PROPBAG2 option{};
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value{};
    value.vt = VT_R4;
    value.fltVal = quality;
    options->Write(1, &option, &value);  // a codec without the option keeps its default
    result = encoded->Initialize(options.get());
  }
  if (SUCCEEDED(result)) result = encoded->SetSize(thumbnail.width, thumbnail.height);
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (SUCCEEDED(result)) result = encoded->SetPixelFormat(&format);
  if (SUCCEEDED(result)) result = encoded->WriteSource(thumbnail.bitmap.get(), nullptr);
  if (SUCCEEDED(result)) result = encoded->Commit();
  if (SUCCEEDED(result)) result = encoder->Commit();
  ULARGE_INTEGER length{};
  if (SUCCEEDED(result)) result = outStream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &length);
  if (FAILED(result)) {
    FailWith(job, "the thumbnail cannot be encoded", result);
    return false;
  }
  jpeg->assign(reinterpret_cast<const char*>(out.data()),
               static_cast<std::size_t>(length.QuadPart));
  return true;
}

// Hands the job the thumbnail made.
void Deliver(KestrunePhotoJob* job, const std::string& jpeg, const Thumbnail& thumbnail) {
  job->jpeg = CopyOf(jpeg, &job->jpegSize);
  if (job->jpeg == nullptr) return Fail(job, "out of memory");
  job->made = 1;
  job->width = static_cast<int>(thumbnail.width);
  job->height = static_cast<int>(thumbnail.height);
}

// One photo's thumbnail, stage by stage; the first stage that fails says why in the job.
void MakeOne(IWICImagingFactory* factory, KestrunePhotoJob* job) {
  std::string bytes;
  if (!ReadPhoto(job, &bytes) || !ClaimsAllowedSize(job, bytes)) return;
  const int orientation = KeepMetadata(job, bytes);
  Frame decoded;
  if (!EndsWhole(job, bytes) || !DecodeFrame(factory, &bytes, job, &decoded) ||
      !WithinPixelLimit(job, decoded.width, decoded.height))
    return;
  UINT fitWidth = 0, fitHeight = 0;
  FittedSize(decoded.width, decoded.height, job->edge, &fitWidth, &fitHeight);
  Ref<IWICBitmap> scaled;
  Thumbnail thumbnail;
  std::string jpeg;
  if (Scale(factory, decoded, fitWidth, fitHeight, job, &scaled) &&
      TurnUpright(factory, scaled.get(), fitWidth, fitHeight, orientation, job, &thumbnail) &&
      EncodeJpeg(factory, thumbnail, kJpegQuality, job, &jpeg))
    Deliver(job, jpeg, thumbnail);
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

void Start(KestrunePhotoJob* jobs, std::size_t count, unsigned threads, std::size_t ahead) {
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
  std::free(job->jpeg);
  std::free(job->exif);
  std::free(job->xmp);
  job->jpeg = job->exif = job->xmp = nullptr;
  job->jpegSize = job->exifSize = job->xmpSize = 0;
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
    return Com.initialize != nullptr && Com.uninitialize != nullptr &&
           Com.createInstance != nullptr;
  }();
  return started ? &kCodec : nullptr;
}
