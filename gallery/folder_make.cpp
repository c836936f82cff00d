// Making a folder's gallery as its plan says: thumbnails and copies, removals, and the contact
// sheet.
#include "gallery/folder_make.h"

#include <algorithm>
#include <cstdio>

#include "gallery/gallery_sheet.h"
#include "names/file_names.h"
#include "pages/page_marker.h"
#include "photos/photo_metadata.h"
#include "platform/platform.h"
#include "ui/user.h"

namespace {

// A message titled with the file's name as the user finds it from the top of the tree.
void TellAboutFile(FolderGallery& gallery, const std::string& name, const std::string& text) {
  ShowMessageBox(nullptr, text, gallery.path + name, BoxIcon::Exclamation);
  gallery.failed = true;
}

bool Makes(ThumbnailPlan plan) {
  return plan == ThumbnailPlan::Make || plan == ThumbnailPlan::Remake;
}

// What a photo's job is to make: its thumbnail where it is to be made, and each copy that is not
// the user's and is to be made, or may be (its size unknown, the decode decides). Empty when the
// photo is not decoded.
std::vector<int> PicturesToMake(const PlannedPhoto& photo) {
  std::vector<int> pictures;
  if (!NeedsDecoding(photo)) return pictures;
  if (Makes(photo.plan)) pictures.push_back(kJobThumbnail);
  for (std::size_t k = 0; k < photo.copies.size(); ++k) {
    const PlannedCopy& copy = photo.copies[k];
    if (copy.plan == ThumbnailPlan::Foreign) continue;
    if (photo.width == 0 || (copy.called && Makes(copy.plan)))
      pictures.push_back(static_cast<int>(k));
  }
  return pictures;
}

PictureWanted WantedOf(const PlannedPhoto& photo, int picture) {
  if (picture == kJobThumbnail) return {kThumbnailEdge, 0, kThumbnailQuality};
  const PlannedCopy& copy = photo.copies[static_cast<std::size_t>(picture)];
  const int quality = copy.edge == kDenseThumbnailEdge ? kThumbnailQuality : kCopyQuality;
  return {copy.edge, copy.threshold, quality};
}

// Written under a temporary name and put in place complete; never over a file of the user's that
// took the name meanwhile.
bool WriteMarked(const std::string& name, const std::string& jpeg, const ThumbnailMark& mark) {
  const std::string bytes = MarkedThumbnail(jpeg, mark);
  std::FILE* stream = CreateOutputFile(name, kThumbnailMarker);
  if (stream == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  return CloseOutputFile(stream) && written && !bytes.empty();
}

// The mark of a picture of `photo` fitted into `edge`, made as `made`.
ThumbnailMark MarkOf(const PlannedPhoto& photo, int edge, const PictureMade& made) {
  ThumbnailMark mark;
  mark.photoSize = photo.file.size;
  mark.photoModified = photo.file.modified;
  mark.edge = edge;
  mark.width = made.width;
  mark.height = made.height;
  mark.caption = photo.mark.caption;
  mark.photoWidth = photo.width;
  mark.photoHeight = photo.height;
  mark.taken = photo.taken;
  mark.takenDay = photo.takenDay;
  return mark;
}

// The copies folder made where the first copy is written, once; false after its message.
bool HaveCopiesFolder(FolderGallery& gallery) {
  if (gallery.copiesFolder) return true;
  if (gallery.copiesRefused) return false;
  gallery.copiesFolder = MakeFolder(kCopiesFolder);
  if (!gallery.copiesFolder) {
    gallery.copiesRefused = true;
    TellAboutFile(gallery, kCopiesFolder, "Unable to create the folder of copies");
  }
  return gallery.copiesFolder;
}

// A copy the decode made is written; one it did not make, since the photo does not call for it,
// goes where an earlier one of kestrune's stands.
void TakeCopy(FolderGallery& gallery, PlannedPhoto& photo, PlannedCopy& copy,
              const PictureMade& made) {
  copy.called = made.made;
  if (!made.made) {
    if (copy.ours) RemoveOwnPage(copy.name, kThumbnailMarker);
    return;
  }
  copy.mark = MarkOf(photo, copy.edge, made);
  if (HaveCopiesFolder(gallery) && WriteMarked(copy.name, made.jpeg, copy.mark)) {
    copy.plan = ThumbnailPlan::UpToDate;
    return;
  }
  copy.called = false;  // not offered: it is not there
  if (gallery.copiesFolder) TellAboutFile(gallery, copy.name, "Unable to create the copy file");
}

// The pictures of `photo` from its finished job, written; what was read of the photo goes then,
// so memory does not grow with the number of photos.
void TakeMadePictures(FolderGallery& gallery, PlannedPhoto& photo, PhotoJob& job,
                      const std::vector<int>& pictures) {
  const bool withThumbnail = !pictures.empty() && pictures.front() == kJobThumbnail;
  if (!job.made) {
    if (withThumbnail) {
      photo.readable = false;
      photo.mark.caption = ChooseCaption("", "", photo.file.name);
    }
    if (withThumbnail) photo.failure = job.failure;
    TellAboutFile(gallery, photo.file.name,
                  (withThumbnail ? "Could not make a thumbnail: " : "Could not make its copies: ") +
                      job.failure);
    for (PlannedCopy& copy : photo.copies) copy.called = copy.called && !Makes(copy.plan);
  } else {
    photo.width = job.width;
    photo.height = job.height;
    TakenTime taken;
    if (ExifTakenTime(job.exif, &taken)) {
      photo.taken = taken.seconds;
      photo.takenDay = taken.date;
    }
    if (withThumbnail) photo.mark.caption = ChooseCaption(job.exif, job.xmp, photo.file.name);
    for (std::size_t p = 0; p < pictures.size() && p < job.pictures.size(); ++p) {
      if (pictures[p] != kJobThumbnail) {
        TakeCopy(gallery, photo, photo.copies[static_cast<std::size_t>(pictures[p])],
                 job.pictures[p]);
        continue;
      }
      photo.mark = MarkOf(photo, kThumbnailEdge, job.pictures[p]);
      if (!WriteMarked(photo.thumbnail, job.pictures[p].jpeg, photo.mark)) {
        photo.readable = false;
        TellAboutFile(gallery, photo.thumbnail, "Unable to create the thumbnail file");
      }
    }
  }
  job.pictures.clear();
  job.pictures.shrink_to_fit();
  std::string().swap(job.exif);
  std::string().swap(job.xmp);
}

// A photo's copies that its size no longer calls for, of kestrune's: removed.
void RemoveUncalledCopies(PlannedPhoto& photo) {
  if (photo.width == 0) return;
  for (PlannedCopy& copy : photo.copies) {
    if (!copy.called && copy.ours && copy.plan != ThumbnailPlan::Foreign) {
      RemoveOwnPage(copy.name, kThumbnailMarker);
      copy.ours = false;
    }
  }
}

// The photos made so far, in the order the sheet shows them: by name as planned, or by when each
// was taken (ties by name).
std::vector<const PlannedPhoto*> PhotosInOrder(const FolderGallery& gallery) {
  std::vector<const PlannedPhoto*> photos;
  for (std::size_t i = 0; i < gallery.done; ++i) photos.push_back(&gallery.photos[i]);
  if (gallery.order == "date")
    std::stable_sort(
        photos.begin(), photos.end(),
        [](const PlannedPhoto* a, const PlannedPhoto* b) { return PhotoTime(*a) < PhotoTime(*b); });
  return photos;
}

std::vector<SheetEntry> SheetEntriesOf(const FolderGallery& gallery) {
  std::vector<SheetEntry> entries;
  for (const PlannedPhoto* listed : PhotosInOrder(gallery)) {
    const PlannedPhoto& photo = *listed;
    SheetEntry entry;
    entry.photo = photo.file.name;
    if (photo.readable) entry.thumbnail = photo.thumbnail;
    entry.width = photo.mark.width;
    entry.height = photo.mark.height;
    entry.caption = photo.mark.caption;
    const bool dense = !photo.copies.empty() && photo.copies.front().edge == kDenseThumbnailEdge &&
                       photo.copies.front().called &&
                       photo.copies.front().plan == ThumbnailPlan::UpToDate;
    if (photo.readable && dense) entry.denseThumbnail = photo.copies.front().name;
    if (photo.readable) {
      entry.photoWidth = photo.width;
      entry.photoHeight = photo.height;
    } else if (photo.plan != ThumbnailPlan::Foreign) {
      // Remembered, so that the next run does not decode it again while it stays as it is.
      entry.failure = photo.failure;
      entry.photoSize = photo.file.size;
      entry.photoModified = photo.file.modified;
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace

// The files not used, in one line: how many, and the first few names.
void SayUnused(const FolderGallery& gallery) {
  constexpr std::size_t kNamed = 5;
  const std::size_t count = gallery.unused.size();
  if (count == 0) return;
  std::string text = std::to_string(count) + (count == 1 ? " file" : " files") +
                     " not shown, no photo kestrune reads: ";
  for (std::size_t i = 0; i < count && i < kNamed; ++i)
    text += (i > 0 ? ", " : "") + gallery.unused[i];
  if (count > kNamed) text += " and " + std::to_string(count - kNamed) + " more";
  // Titled like the album's other messages in a tree (by its path from the top, so two albums
  // of one name are told apart), by the folder's name at the top.
  const std::string& path = gallery.path;
  ShowMessageBox(nullptr, text, path.empty() ? gallery.title : path.substr(0, path.size() - 1),
                 BoxIcon::Information);
}

bool BeginThumbnails(FolderGallery& gallery, std::string* why) {
  for (const auto& [name, text] : gallery.notices) TellAboutFile(gallery, name, text);
  SayUnused(gallery);
  // A photo the last run could not read, unchanged since, is said again without decoding it.
  for (const PlannedPhoto& photo : gallery.photos)
    if (photo.failedBefore)
      TellAboutFile(gallery, photo.file.name, "Could not make a thumbnail: " + photo.failure);
  for (const PlannedPhoto& photo : gallery.photos) {
    const std::vector<int> pictures = PicturesToMake(photo);
    gallery.jobOf.push_back(pictures.empty() ? kNoThumbnailJob : gallery.jobs.size());
    if (pictures.empty()) continue;
    PhotoJob job;
    job.photo = photo.file.name;
    for (int picture : pictures) job.wanted.push_back(WantedOf(photo, picture));
    gallery.jobs.push_back(std::move(job));
    gallery.jobPictures.push_back(pictures);
  }
  // The codec is loaded (libvips started, which takes longer than a whole sheet run) only when a
  // photo is to be decoded: a re-run of an unchanged folder needs none.
  if (gallery.jobs.empty()) return true;
  if (!OpenPhotoCodec(why)) return false;
  StartPhotoJobs(&gallery.jobs);
  return true;
}

bool MakeNextThumbnail(FolderGallery& gallery, std::string* progress) {
  // Photos whose pictures stand already pass at once; the next one to make is waited for while
  // the cores make the ones after it.
  while (gallery.done < gallery.photos.size()) {
    PlannedPhoto& photo = gallery.photos[gallery.done];
    const std::size_t index = gallery.jobOf[gallery.done++];
    if (index == kNoThumbnailJob) {
      RemoveUncalledCopies(photo);
      continue;
    }
    TakePhotoJob(index);
    TakeMadePictures(gallery, photo, gallery.jobs[index], gallery.jobPictures[index]);
    *progress = "photo " + std::to_string(gallery.done) + " of " +
                std::to_string(gallery.photos.size()) + ": " + photo.file.name;
    break;
  }
  return gallery.done < gallery.photos.size();
}

AlbumEntry SummaryOf(const FolderGallery& gallery) {
  AlbumEntry album;
  long long first = 0, last = 0;
  const auto span = [&album, &first, &last](long long time, const std::string& day) {
    if (day.empty()) return;
    if (album.firstDay.empty() || time < first) {
      first = time;
      album.firstDay = day;
    }
    if (album.lastDay.empty() || time > last) {
      last = time;
      album.lastDay = day;
    }
  };
  for (const PlannedPhoto* photo : PhotosInOrder(gallery)) {
    ++album.photos;
    span(PhotoTime(*photo), PhotoDay(*photo));
    if (!album.cover.empty() || !photo->readable) continue;
    album.cover = photo->thumbnail;
    album.width = photo->mark.width;
    album.height = photo->mark.height;
    const bool dense =
        !photo->copies.empty() && photo->copies.front().edge == kDenseThumbnailEdge &&
        photo->copies.front().called && photo->copies.front().plan == ThumbnailPlan::UpToDate;
    if (dense) album.denseCover = photo->copies.front().name;
  }
  for (const AlbumEntry& inner : gallery.albums) {
    album.photos += inner.photos;
    span(inner.firstTime, inner.firstDay);
    span(inner.lastTime, inner.lastDay);
    // Without a photo of its own, the cover of its first album that has one.
    if (album.cover.empty() && !inner.cover.empty()) {
      album.cover = inner.folder + "/" + inner.cover;
      album.denseCover = inner.denseCover.empty() ? "" : inner.folder + "/" + inner.denseCover;
      album.width = inner.width;
      album.height = inner.height;
    }
  }
  album.firstTime = first;
  album.lastTime = last;
  return album;
}

bool FinishGallery(FolderGallery& gallery, const PageStyle& style) {
  StopPhotoJobs();  // a stopped run: the photos in hand are finished, none after them begun
  for (const std::string& name : gallery.gone) {
    const bool picture = name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0;
    const PageFileState state =
        RemoveOwnPage(name, picture ? std::string_view(kThumbnailMarker) : kOwnPageMarker);
    // Kept silently only when it is no longer ours (the user's, or not a regular file).
    if (state == PageFileState::Unreadable || state == PageFileState::NotWritable ||
        state == PageFileState::Failed || state == PageFileState::LeftAside)
      TellAboutFile(gallery, name, "Unable to remove this file of a photo that is gone");
  }
  // The copies folder goes once it holds nothing (all its photos gone).
  if (gallery.copiesFolder) RemoveEmptyFolder(kCopiesFolder);
  // A folder of a tree without a photo or an album in it is none: its sheet and slide show go
  // too. A folder of albums alone shows no slide show.
  if (gallery.photos.empty()) RemoveOwnPage(kCombinedPageName, kOwnPageMarker);
  if (gallery.photos.empty() && gallery.albums.empty()) {
    RemoveOwnPage(kGallerySheetName, kOwnPageMarker);
    return true;
  }
  return WriteSheet(gallery, style);
}

bool WriteSheet(FolderGallery& gallery, const PageStyle& style) {
  const std::string text = GallerySheetText(style, gallery.title, SheetEntriesOf(gallery),
                                            gallery.albums, gallery.trail, gallery.order);
  // A sheet that says this already stays as it is: a re-run of an unchanged folder rewrites none.
  std::string earlier;
  if (ReadFileHead(kGallerySheetName, text.size() + 1, &earlier) && earlier == text) return true;
  std::FILE* sheet = CreateOutputFile(kGallerySheetName, kOwnPageMarker);
  const bool written =
      sheet != nullptr && std::fwrite(text.data(), 1, text.size(), sheet) == text.size();
  if (sheet == nullptr || !CloseOutputFile(sheet) || !written) {
    TellAboutFile(gallery, kGallerySheetName, "Unable to create the contact sheet");
    return false;
  }
  return true;
}
