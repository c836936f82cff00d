// The photo module, kestrune-photos.so: thumbnails by libvips, loaded only for a folder run.
//
// Each photo is opened through the program's file calls (handed to start) without waiting (a FIFO
// or a device is refused), read whole when of a usual size, its header read to learn
// its size and metadata, refused when it claims more pixels than the limit, then shrunk on load
// and turned upright by vips_thumbnail, and saved as a JPEG with every metadata block stripped.
// Photos run on threads of their own, one libvips thread each, so the cores work on different
// photos while the program writes the ones done; at most `threads` photos are decoded at once.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vips/vips.h>

#include <atomic>
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
void FailWithVips(KestrunePhotoJob* job, const char* what) {
  std::string text = vips_error_buffer();
  vips_error_clear();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  for (char& c : text)
    if (c == '\n') c = ';';
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
  g_object_unref(header);
  VipsImage* thumbnail = nullptr;
  void* buffer = nullptr;
  size_t length = 0;
  const int failed =
      (profiled ? vips_thumbnail_source(source, &thumbnail, job->edge, "height", job->edge, "size",
                                        VIPS_SIZE_DOWN, "export_profile", "srgb", "option_string",
                                        "fail_on=truncated", nullptr)
                : vips_thumbnail_source(source, &thumbnail, job->edge, "height", job->edge, "size",
                                        VIPS_SIZE_DOWN, "option_string", "fail_on=truncated",
                                        nullptr)) ||
      vips_jpegsave_buffer(thumbnail, &buffer, &length, "Q", job->quality, "strip", TRUE, nullptr);
  if (failed) {
    FailWithVips(job, "cannot be decoded");
  } else {
    job->made = 1;
    job->width = thumbnail->Xsize;
    job->height = thumbnail->Ysize;
    job->jpeg = static_cast<unsigned char*>(buffer);  // g_malloc'ed: released with g_free
    job->jpegSize = length;
  }
  if (thumbnail != nullptr) g_object_unref(thumbnail);
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
  g_free(job->jpeg);
  std::free(job->exif);
  std::free(job->xmp);
  job->jpeg = job->exif = job->xmp = nullptr;
  job->jpegSize = job->exifSize = job->xmpSize = 0;
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

const KestrunePhotoCodec kCodec{kPhotoCodecVersion, Start, Wait, Stop, Release, Finish};

}  // namespace

const KestrunePhotoCodec* KestruneOpenPhotoCodec() {
  static const bool started = [] {
    ThreadsBeforeVips = CountThreads();
    // At its start libvips loads its optional readers (HEIF, JPEG XL, PDF, OpenSlide and
    // ImageMagick, with a hundred libraries more) from the module folder of its prefix. Photos
    // are JPEG, PNG and GIF, which libvips reads itself: its prefix is pointed for the start at
    // this module's folder, which holds no such folder, so those readers never see a file of
    // the folder, and the start takes a third less time.
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
    if (!started) return false;
    vips_block_untrusted_set(TRUE);  // nor do readers libvips itself marks as unsafe
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
