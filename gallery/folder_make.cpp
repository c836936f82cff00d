// Making a folder's gallery as its plan says: thumbnails, removals, and the contact sheet.
#include "gallery/folder_make.h"

#include <cstdio>

#include "gallery/gallery_sheet.h"
#include "names/file_names.h"
#include "pages/page_marker.h"
#include "platform/platform.h"
#include "ui/user.h"

namespace {

void TellAboutFile(FolderGallery& gallery, const std::string& name, const std::string& text) {
  ShowMessageBox(nullptr, text, name, BoxIcon::Exclamation);
  gallery.failed = true;
}

bool NeedsThumbnail(const PlannedPhoto& photo) {
  return photo.plan == ThumbnailPlan::Make || photo.plan == ThumbnailPlan::Remake;
}

// Written under a temporary name and put in place complete; never over a file of the user's that
// took the name meanwhile.
bool WriteThumbnail(PlannedPhoto& photo, const ThumbnailJob& job) {
  photo.mark.photoSize = photo.file.size;
  photo.mark.photoModified = photo.file.modified;
  photo.mark.edge = kThumbnailEdge;
  photo.mark.width = job.width;
  photo.mark.height = job.height;
  photo.mark.caption = ChooseCaption(job.exif, job.xmp, photo.file.name);
  const std::string bytes = MarkedThumbnail(job.jpeg, photo.mark);
  std::FILE* stream = CreateOutputFile(photo.thumbnail, kThumbnailMarker);
  if (stream == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  return CloseOutputFile(stream) && written && !bytes.empty();
}

// The thumbnail of `photo` from its finished job, written; what was read of the photo goes then,
// so memory does not grow with the number of photos.
void TakeMadeThumbnail(FolderGallery& gallery, PlannedPhoto& photo, ThumbnailJob& job) {
  if (!job.made) {
    photo.readable = false;
    photo.mark.caption = ChooseCaption("", "", photo.file.name);
    TellAboutFile(gallery, photo.file.name, "Could not make a thumbnail: " + job.failure);
  } else if (!WriteThumbnail(photo, job)) {
    photo.readable = false;
    TellAboutFile(gallery, photo.thumbnail, "Unable to create the thumbnail file");
  }
  std::string().swap(job.jpeg);
  std::string().swap(job.exif);
  std::string().swap(job.xmp);
}

std::vector<SheetEntry> SheetEntriesOf(const FolderGallery& gallery) {
  std::vector<SheetEntry> entries;
  for (std::size_t i = 0; i < gallery.done; ++i) {
    const PlannedPhoto& photo = gallery.photos[i];
    SheetEntry entry;
    entry.photo = photo.file.name;
    if (photo.readable) entry.thumbnail = photo.thumbnail;
    entry.width = photo.mark.width;
    entry.height = photo.mark.height;
    entry.caption = photo.mark.caption;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace

bool BeginThumbnails(FolderGallery& gallery, std::string* why) {
  for (const auto& [name, text] : gallery.notices) TellAboutFile(gallery, name, text);
  for (const PlannedPhoto& photo : gallery.photos) {
    gallery.jobOf.push_back(NeedsThumbnail(photo) ? gallery.jobs.size() : kNoThumbnailJob);
    if (!NeedsThumbnail(photo)) continue;
    gallery.jobs.emplace_back();
    gallery.jobs.back().photo = photo.file.name;
    gallery.jobs.back().edge = kThumbnailEdge;
    gallery.jobs.back().quality = kThumbnailQuality;
  }
  // The codec is loaded (libvips started, which takes longer than a whole sheet run) only when a
  // thumbnail is to be made: a re-run of an unchanged folder needs none.
  if (gallery.jobs.empty()) return true;
  if (!OpenPhotoCodec(why)) return false;
  StartThumbnails(&gallery.jobs);
  return true;
}

bool MakeNextThumbnail(FolderGallery& gallery, std::string* progress) {
  // Photos whose thumbnail stands already pass at once; the next one to make is waited for while
  // the cores make the ones after it.
  while (gallery.done < gallery.photos.size()) {
    PlannedPhoto& photo = gallery.photos[gallery.done];
    const std::size_t index = gallery.jobOf[gallery.done++];
    if (index == kNoThumbnailJob) continue;
    TakeThumbnail(index);
    TakeMadeThumbnail(gallery, photo, gallery.jobs[index]);
    *progress = "photo " + std::to_string(gallery.done) + " of " +
                std::to_string(gallery.photos.size()) + ": " + photo.file.name;
    break;
  }
  return gallery.done < gallery.photos.size();
}

bool FinishGallery(FolderGallery& gallery, const PageStyle& style) {
  StopThumbnails();  // a stopped run: the photos in hand are finished, none after them begun
  for (const std::string& name : gallery.gone) {
    const PageFileState state = RemoveOwnPage(
        name, IsPhotoName(name) ? std::string_view(kThumbnailMarker) : kOwnPageMarker);
    // Kept silently only when it is no longer ours (the user's, or not a regular file).
    if (state == PageFileState::Unreadable || state == PageFileState::NotWritable ||
        state == PageFileState::Failed || state == PageFileState::LeftAside)
      TellAboutFile(gallery, name, "Unable to remove this file of a photo that is gone");
  }
  const std::string text = GallerySheetText(style, gallery.title, SheetEntriesOf(gallery));
  std::FILE* sheet = CreateOutputFile(kGallerySheetName, kOwnPageMarker);
  const bool written =
      sheet != nullptr && std::fwrite(text.data(), 1, text.size(), sheet) == text.size();
  if (sheet == nullptr || !CloseOutputFile(sheet) || !written) {
    TellAboutFile(gallery, kGallerySheetName, "Unable to create the contact sheet");
    return false;
  }
  return true;
}
