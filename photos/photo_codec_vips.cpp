// The photo module, kestrune-photos.so: thumbnails and copies by libvips, loaded only for a
// folder run.
//
// Photos are JPEG, PNG, GIF, WebP and TIFF, read by libvips itself, and HEIC, HEIF and AVIF, read
// by its HEIF module (libheif), the one module of libvips loaded; every other reader of libvips
// is blocked, so a file whose content is anything else is refused whatever its name. Each photo
// is opened through the program's file calls (handed to start) without waiting (a FIFO or a
// device is refused), read whole when of a usual size, its header read to learn its size and
// metadata, refused when it claims more pixels than the limit, then shrunk on load, turned
// upright (EXIF orientation; HEIF's own rotation and mirror, applied by libheif, which then
// drops the EXIF one) and into sRGB by vips_thumbnail, laid on white where transparent, and
// saved as a JPEG with every metadata block stripped. Of a file of several images, the primary
// one (HEIF) or the first (TIFF pages, GIF and WebP frames) is shown.
// Photos run on threads of their own, one libvips thread each, so the cores work on different
// photos while the program writes the ones done; at most `threads` photos are decoded at once.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gmodule.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "photos/photo_codec.h"
#include "photos/photo_queue.h"

namespace {

void Fail(KestrunePhotoJob* job, const char* what) {
  std::snprintf(job->failure, sizeof job->failure, "%s", what);
}

// libvips' last error, one line, and the error buffer cleared for the next photo of the thread.
// The seeks past the end that libheif tries on a file cut short are left out: its own line
// after them says what is wrong.
void FailWithVips(KestrunePhotoJob* job, const char* what) {
  const std::string buffer = vips_error_buffer();
  vips_error_clear();
  std::string text;
  for (std::size_t at = 0, end; at < buffer.size(); at = end + 1) {
    end = std::min(buffer.find('\n', at), buffer.size());
    const std::string line = buffer.substr(at, end - at);
    if (line.empty() || line.rfind("source: bad seek", 0) == 0) continue;
    text += (text.empty() ? "" : ";") + line;
  }
  std::snprintf(job->failure, sizeof job->failure, "%s%s%s", what, text.empty() ? "" : ": ",
                text.c_str());
}

void CopyBlob(VipsImage* image, const char* field, unsigned char** out, std::size_t* size) {
  const void* data = nullptr;
  size_t length = 0;
  if (vips_image_get_typeof(image, field) == 0 ||
      vips_image_get_blob(image, field, &data, &length) != 0 || length == 0)
    return;
  *out = static_cast<unsigned char*>(std::malloc(length));
  if (*out == nullptr) return;
  std::memcpy(*out, data, length);
  *size = length;
}

// Photos up to this size are read whole before decoding.
constexpr off_t kReadWholeLimit = off_t{16} << 20;

// The program's file calls, handed to Start; every photo is read through them.
const KestrunePhotoFiles* Files = nullptr;

// Reads the photo open as `fd` whole into *bytes: false with errno when a read fails. A file cut
// short meanwhile is decoded as far as it goes.
bool ReadWhole(int fd, std::size_t size, std::vector<unsigned char>* bytes) {
  bytes->resize(size);
  std::size_t got = 0;
  while (got < bytes->size()) {
    const std::ptrdiff_t n = Files->read(fd, bytes->data() + got, bytes->size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes->resize(got);
  return true;
}

// The photo's size as it is shown: turned upright by its orientation (5 to 8 turn it a quarter).
void UprightSize(VipsImage* header, int* width, int* height) {
  int orientation = 1;
  if (vips_image_get_typeof(header, VIPS_META_ORIENTATION) != 0 &&
      vips_image_get_int(header, VIPS_META_ORIENTATION, &orientation) != 0)
    orientation = 1;
  const bool turned = orientation >= 5 && orientation <= 8;
  *width = turned ? header->Ysize : header->Xsize;
  *height = turned ? header->Xsize : header->Ysize;
}

// Whether the photo, its longer side `longer` pixels, calls for `picture`.
bool CallsFor(const KestrunePicture& picture, int longer) {
  return longer > picture.whenLongerThan;
}

// A photo with transparency (PNG, GIF, WebP, HEIF) laid on white: a JPEG has none, and
// dropped it would leave black, which hides a drawing in black on a clear ground. Takes `image`;
// nullptr after the job's failure was set.
VipsImage* OnWhite(KestrunePhotoJob* job, VipsImage* image) {
  if (!vips_image_hasalpha(image)) return image;
  const bool sixteen =
      image->Type == VIPS_INTERPRETATION_RGB16 || image->Type == VIPS_INTERPRETATION_GREY16;
  const double white = sixteen ? 65535 : 255;
  VipsArrayDouble* background = vips_array_double_newv(1, white);
  VipsImage* flat = nullptr;
  const bool failed =
      vips_flatten(image, &flat, "background", background, "max_alpha", white, nullptr) != 0;
  vips_area_unref(VIPS_AREA(background));
  g_object_unref(image);
  if (failed) FailWithVips(job, "cannot be decoded");
  return failed ? nullptr : flat;
}

// The photo decoded once, fitted into edge x edge pixels (shrunk on load where its format can),
// upright and in sRGB; nullptr after the job's failure was set.
VipsImage* DecodeFitted(KestrunePhotoJob* job, VipsSource* source, int edge, bool profiled) {
  VipsImage* image = nullptr;
  const int failed =
      profiled ? vips_thumbnail_source(source, &image, edge, "height", edge, "size", VIPS_SIZE_DOWN,
                                       "export_profile", "srgb", "option_string",
                                       "fail_on=truncated", nullptr)
               : vips_thumbnail_source(source, &image, edge, "height", edge, "size", VIPS_SIZE_DOWN,
                                       "option_string", "fail_on=truncated", nullptr);
  if (failed) {
    FailWithVips(job, "cannot be decoded");
    return nullptr;
  }
  return OnWhite(job, image);
}

// `picture` from the decoded image: the image itself where it fits, else fitted anew from it.
bool EncodePicture(KestrunePicture* picture, VipsImage* decoded) {
  VipsImage* fitted = nullptr;
  const bool smaller = decoded->Xsize > picture->edge || decoded->Ysize > picture->edge;
  if (smaller && vips_thumbnail_image(decoded, &fitted, picture->edge, "height", picture->edge,
                                      "size", VIPS_SIZE_DOWN, nullptr) != 0)
    return false;
  VipsImage* image = smaller ? fitted : decoded;
  void* buffer = nullptr;
  size_t length = 0;
  const bool saved = vips_jpegsave_buffer(image, &buffer, &length, "Q", picture->quality, "strip",
                                          TRUE, nullptr) == 0;
  if (saved) {
    picture->made = 1;
    picture->jpeg = static_cast<unsigned char*>(buffer);  // g_malloc'ed: released with g_free
    picture->jpegSize = length;
    picture->width = image->Xsize;
    picture->height = image->Ysize;
  }
  if (fitted != nullptr) g_object_unref(fitted);
  return saved;
}

// Every picture the photo calls for, from one decode at the size of the largest of them: kept in
// memory when more than one is made from it, so the photo is decoded once. A photo that calls for
// none is not decoded at all.
void MakePictures(KestrunePhotoJob* job, VipsSource* source, bool profiled) {
  const int longer = job->photoWidth > job->photoHeight ? job->photoWidth : job->photoHeight;
  int edge = 0, called = 0;
  for (int p = 0; p < job->pictureCount; ++p) {
    if (!CallsFor(job->pictures[p], longer)) continue;
    edge = job->pictures[p].edge > edge ? job->pictures[p].edge : edge;
    ++called;
  }
  if (called == 0) {
    job->made = 1;
    return;
  }
  VipsImage* decoded = DecodeFitted(job, source, edge, profiled);
  if (decoded == nullptr) return;
  VipsImage* kept = called > 1 ? vips_image_copy_memory(decoded) : nullptr;
  VipsImage* image = kept != nullptr ? kept : decoded;
  bool made = called <= 1 || kept != nullptr;
  for (int p = 0; made && p < job->pictureCount; ++p) {
    if (CallsFor(job->pictures[p], longer)) made = EncodePicture(&job->pictures[p], image);
  }
  if (made) {
    job->made = 1;
  } else {
    FailWithVips(job, "cannot be decoded");
  }
  if (kept != nullptr) g_object_unref(kept);
  g_object_unref(decoded);
}

bool HeifReader = false;  // set once at the start, read by the threads

// Whether the file is of the ISO media kind that HEIC, HEIF and AVIF photos are: its first box
// is "ftyp".
bool IsoMediaFile(VipsSource* source) {
  unsigned char* head = nullptr;
  return vips_source_sniff_at_most(source, &head, 8) == 8 && std::memcmp(head + 4, "ftyp", 4) == 0;
}

// Whether the reader libvips takes the photo's content for is one kestrune reads photos with; a
// file whose content is something else (a PDF or an SVG named .heic, say) is refused by its kind,
// not by the bare "blocked" of libvips.
bool ReaderAllowed(KestrunePhotoJob* job, VipsSource* source) {
  const char* reader = vips_foreign_find_load_source(source);
  if (reader == nullptr && !HeifReader && IsoMediaFile(source)) {
    vips_error_clear();
    Fail(job,
         "a HEIF or AVIF photo, which needs the HEIF module of libvips (vips-heif), "
         "missing here");
    return false;
  }
  if (reader == nullptr) {
    FailWithVips(job, "not a photo that can be decoded");
    return false;
  }
  const VipsObjectClass* found = vips_class_find("VipsForeignLoad", reader);
  if (found != nullptr && (VIPS_OPERATION_CLASS(found)->flags & VIPS_OPERATION_BLOCKED) == 0)
    return true;
  // The reader's nickname says the kind: "svgload_source" is SVG.
  std::string kind = found != nullptr ? found->nickname : reader;
  kind.erase(std::min(kind.find("load"), kind.size()));
  for (char& c : kind) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::snprintf(job->failure, sizeof job->failure,
                "not a photo kestrune reads: its content is %s (photos are JPEG, PNG, GIF, WebP, "
                "TIFF, HEIF or AVIF)",
                kind.c_str());
  return false;
}

void MakeOne(KestrunePhotoJob* job) {
  const int fd = Files->open(job->photo, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Fail(job, std::strerror(errno));
  struct stat info;
  if (Files->fstat(fd, &info) != 0) {
    Fail(job, std::strerror(errno));
    Files->close(fd);
    return;
  }
  if (!S_ISREG(info.st_mode) || info.st_size == 0) {
    Files->close(fd);
    return Fail(job, S_ISREG(info.st_mode) ? "empty file" : "not a regular file");
  }
  // A photo of a usual size is read in one call and decoded from memory (the header and then
  // the pixels read it twice); a larger one is read as it is decoded.
  std::vector<unsigned char> bytes;
  if (info.st_size <= kReadWholeLimit &&
      !ReadWhole(fd, static_cast<std::size_t>(info.st_size), &bytes)) {
    Fail(job, std::strerror(errno));
    Files->close(fd);
    return;
  }
  VipsSource* source = bytes.empty() && info.st_size > kReadWholeLimit
                           ? vips_source_new_from_descriptor(fd)  // dups the descriptor
                           : vips_source_new_from_memory(bytes.data(), bytes.size());
  Files->close(fd);  // only read: nothing to lose
  if (source == nullptr) return FailWithVips(job, "cannot be read");
  if (!ReaderAllowed(job, source)) {
    g_object_unref(source);
    return;
  }
  // The header alone: sizes and metadata, before any pixel is decoded.
  VipsImage* header =
      vips_image_new_from_source(source, "", "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
  if (header == nullptr) {
    g_object_unref(source);
    return FailWithVips(job, "not a photo that can be decoded");
  }
  const long long pixels = static_cast<long long>(header->Xsize) * header->Ysize;
  if (pixels > job->pixelLimit) {
    job->failureCode = kPhotoTooLarge;
    job->claimedWidth = header->Xsize;
    job->claimedHeight = header->Ysize;
    g_object_unref(header);
    g_object_unref(source);
    return;
  }
  CopyBlob(header, VIPS_META_EXIF_NAME, &job->exif, &job->exifSize);
  CopyBlob(header, VIPS_META_XMP_NAME, &job->xmp, &job->xmpSize);
  // A photo with a colour profile of its own is turned into sRGB; one without is taken as sRGB
  // already, which spares every such photo building a colour transform.
  const bool profiled = vips_image_get_typeof(header, VIPS_META_ICC_NAME) != 0;
  UprightSize(header, &job->photoWidth, &job->photoHeight);
  g_object_unref(header);
  MakePictures(job, source, profiled);
  g_object_unref(source);
}

// The jobs of the run in their order, and the threads making them.
struct Workers {
  PhotoQueue order;
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::thread> threads;
} Jobs;

void Work() {
  std::unique_lock<std::mutex> hold(Jobs.lock);
  for (std::size_t index = 0;;) {
    Jobs.changed.wait(hold, [] { return WorkerMayGo(Jobs.order); });
    if (!BeginNextJob(&Jobs.order, &index)) break;
    hold.unlock();
    MakeOne(&Jobs.order.jobs[index]);
    hold.lock();
    Jobs.order.done[index] = 1;
    Jobs.changed.notify_all();
  }
  hold.unlock();
  vips_thread_shutdown();  // the thread's buffers, kept from photo to photo until now
}

void Start(const KestrunePhotoFiles* files, KestrunePhotoJob* jobs, std::size_t count,
           unsigned threads, std::size_t ahead) {
  ResetQueue(&Jobs.order, jobs, count, ahead);
  Files = files;
  for (unsigned t = 0; t < (threads < 1 ? 1 : threads) && t < count; ++t) {
    try {
      Jobs.threads.emplace_back(Work);
    } catch (const std::system_error&) {
      break;  // the threads begun so far do the work
    }
  }
}

void Wait(std::size_t index) {
  std::unique_lock<std::mutex> hold(Jobs.lock);
  if (!MarkWaited(&Jobs.order, index, !Jobs.threads.empty())) return;
  Jobs.changed.notify_all();
  Jobs.changed.wait(hold, [index] { return Jobs.order.done[index] != 0; });
}

void Stop() {
  {
    std::lock_guard<std::mutex> hold(Jobs.lock);
    Jobs.order.stopping = true;
  }
  Jobs.changed.notify_all();
  for (std::thread& worker : Jobs.threads) worker.join();
  Jobs.threads.clear();
  ResetQueue(&Jobs.order, nullptr, 0, 1);
}

void Release(KestrunePhotoJob* job) {
  for (int p = 0; p < job->pictureCount && p < kPhotoMostPictures; ++p) {
    g_free(job->pictures[p].jpeg);
    job->pictures[p].jpeg = nullptr;
    job->pictures[p].jpegSize = 0;
  }
  std::free(job->exif);
  std::free(job->xmp);
  job->exif = job->xmp = nullptr;
  job->exifSize = job->xmpSize = 0;
}

// The threads of the process, by /proc/self/task; 0 when that cannot be read.
std::size_t CountThreads() {
  DIR* tasks = ::opendir("/proc/self/task");
  if (tasks == nullptr) return 0;
  std::size_t count = 0;
  while (const dirent* task = ::readdir(tasks))
    if (task->d_name[0] != '.') ++count;
  ::closedir(tasks);
  return count;
}

std::size_t ThreadsBeforeVips = 0;

// libvips runs its workers on a GLib thread pool whose threads outlive the work and are never
// joined; left running at exit, they are torn down in the middle of whatever they hold (and
// LeakSanitizer's exit check crashes on their thread-local blocks of libjpeg). vips_shutdown
// frees the pool; idle pool threads are then told to stop, and their ending is waited for.
void Finish() {
  vips_shutdown();
  g_thread_pool_set_max_unused_threads(0);
  g_thread_pool_stop_unused_threads();
  // Each stopped thread leaves on its own (GLib detaches them): wait until the process has no
  // more threads than before libvips started, for a few seconds at most.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ThreadsBeforeVips != 0 && CountThreads() > ThreadsBeforeVips &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Starts libvips without its optional modules. At its start libvips loads every module of the
// module folder of its prefix (HEIF, JPEG XL, PDF, OpenSlide and ImageMagick, with a hundred
// libraries more); its prefix is pointed for the start at this module's folder, which holds no
// such folder, so none is loaded, and the one kestrune reads photos with is loaded on its own.
bool StartVipsWithoutModules() {
  const char* home = std::getenv("VIPSHOME");
  const bool hadHome = home != nullptr;
  const std::string kept = hadHome ? home : "";
  Dl_info self{};
  if (::dladdr(reinterpret_cast<void*>(&KestruneOpenPhotoCodec), &self) != 0 &&
      self.dli_fname != nullptr) {
    std::string folder = self.dli_fname;
    folder.erase(folder.find_last_of('/') == std::string::npos ? 0 : folder.find_last_of('/'));
    ::setenv("VIPSHOME", folder.empty() ? "." : folder.c_str(), 1);
  }
  const bool started = VIPS_INIT("kestrune") == 0;
  if (hadHome)
    ::setenv("VIPSHOME", kept.c_str(), 1);
  else
    ::unsetenv("VIPSHOME");
  return started;
}

// The folder of libvips' modules: vips-modules-MAJOR.MINOR beside the libvips this module runs
// with (its package's folder, wherever libvips was installed); empty when that is not known.
std::string VipsModuleFolder() {
  Dl_info vips{};
  if (::dladdr(reinterpret_cast<void*>(&vips_init), &vips) == 0 || vips.dli_fname == nullptr)
    return "";
  std::string folder = vips.dli_fname;
  const std::size_t slash = folder.find_last_of('/');
  if (slash == std::string::npos) return "";
  folder.erase(slash);
  return folder + "/vips-modules-" + std::to_string(vips_version(0)) + "." +
         std::to_string(vips_version(1));
}

// libvips' HEIF reader (HEIC, HEIF and AVIF through libheif), its module loaded alone, where
// libvips was not built with it inside; false when this libvips has none.
bool LoadHeifReader() {
  if (g_type_from_name("VipsForeignLoadHeif") != 0) return true;
  const std::string module = VipsModuleFolder() + "/vips-heif." G_MODULE_SUFFIX;
  GModule* loaded = g_module_open(
      module.c_str(), static_cast<GModuleFlags>(G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL));
  if (loaded == nullptr) return false;
  g_module_make_resident(loaded);  // it registered types of libvips: never to be unloaded
  return g_type_from_name("VipsForeignLoadHeif") != 0;
}

// Photos are read from memory or a descriptor (vips_image_new_from_source,
// vips_thumbnail_source) by the readers of these formats alone: every other reader of libvips
// (SVG, PDF, matrices and text, its own format, those of science and medicine, ImageMagick) is
// blocked, so no file of the folder reaches one whatever its content (ReaderAllowed names the
// kind of a file that a blocked reader would take).
void AllowPhotoReadersOnly() {
  vips_operation_block_set("VipsForeignLoad", TRUE);
  for (const char* reader :
       {"VipsForeignLoadJpegSource", "VipsForeignLoadPngSource", "VipsForeignLoadNsgifSource",
        "VipsForeignLoadGifSource", "VipsForeignLoadWebpSource", "VipsForeignLoadTiffSource",
        "VipsForeignLoadHeifSource"})
    if (g_type_from_name(reader) != 0) vips_operation_block_set(reader, FALSE);
}

const KestrunePhotoCodec kCodec{kPhotoCodecVersion, Start, Wait, Stop, Release, Finish};

}  // namespace

const KestrunePhotoCodec* KestruneOpenPhotoCodec() {
  static const bool started = [] {
    ThreadsBeforeVips = CountThreads();
    if (!StartVipsWithoutModules()) return false;
    HeifReader = LoadHeifReader();  // without it, a HEIF photo is refused as such
    AllowPhotoReadersOnly();
    // Its warnings would reach the terminal around kestrune's own messages; a damaged photo is
    // told by the failure of its job instead.
    g_log_set_handler(
        "VIPS", G_LOG_LEVEL_WARNING, [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {},
        nullptr);
    vips_concurrency_set(1);  // parallel over photos, not within one
    vips_cache_set_max(0);    // nothing kept between photos
    return true;
  }();
  return started ? &kCodec : nullptr;
}
