#include "names/file_names.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>

#include "names/ascii.h"

namespace {

// The extensions of the images a sheet's links are read for, then of the photos browsers show,
// then of those they do not.
const char* const kExtensions[] = {".jpg",  ".gif",  ".png",  ".jpe", ".jpeg", ".webp",
                                   ".avif", ".heic", ".heif", ".hif", ".tif",  ".tiff"};
constexpr std::size_t kSheetImageKinds = 5, kShownKinds = 7;

// The place of `link`'s extension in kExtensions, or its size when it is none of them.
std::size_t ExtensionKind(std::string_view link) {
  const std::size_t dot = link.rfind('.');
  std::size_t kind = 0;
  if (dot == std::string_view::npos) return std::size(kExtensions);
  while (kind < std::size(kExtensions) && !EqualsIgnoringCase(link.substr(dot), kExtensions[kind]))
    ++kind;
  return kind;
}

}  // namespace

bool HasImageExtension(std::string_view link) {
  return ExtensionKind(link) < kSheetImageKinds;
}

bool HasPhotoExtension(std::string_view link) {
  return ExtensionKind(link) < std::size(kExtensions);
}

bool IsPhotoName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string_view::npos && dot > 0 && HasPhotoExtension(name);
}

bool BrowserShows(std::string_view link) {
  return ExtensionKind(link) < kShownKinds;
}

std::string_view BaseName(std::string_view name) {
  return name.substr(0, name.rfind('.'));  // npos: the whole name
}

std::string_view NameWithoutExtension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

void AssignManualPageName(std::string& out, std::string_view image) {
  out.assign(BaseName(image)).append(".htm");
}

void AssignAutomaticPageName(std::string& out, std::string_view image) {
  out.assign(BaseName(image)).append(".html");
}

void AssignThumbnailFirstChoice(std::string& out, std::string_view image) {
  out.assign(BaseName(image)).append("_t.jpg");
}

void AssignThumbnailSecondChoice(std::string& out, std::string_view image) {
  out.assign("tn_").append(image).append(".jpg");
  const std::size_t dot = image.rfind('.');
  if (dot != std::string_view::npos) out[3 + dot] = '_';
}

std::string ThumbnailFirstChoice(std::string_view image) {
  std::string name;
  AssignThumbnailFirstChoice(name, image);
  return name;
}

std::string ThumbnailSecondChoice(std::string_view image) {
  std::string name;
  AssignThumbnailSecondChoice(name, image);
  return name;
}

bool MayBeThumbnailName(std::string_view name) {
  return name.size() > 4 && (name.substr(0, 3) == "tn_" || name.find("_t.") != std::string::npos);
}

std::vector<std::string> ThumbnailNames(const std::vector<std::string>& photos) {
  std::vector<std::string_view> bases;
  for (const std::string& photo : photos) bases.push_back(BaseName(photo));
  std::vector<std::string_view> sorted = bases;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> names;
  for (std::size_t i = 0; i < photos.size(); ++i) {
    const auto range = std::equal_range(sorted.begin(), sorted.end(), bases[i]);
    names.push_back(range.second - range.first > 1 ? ThumbnailSecondChoice(photos[i])
                                                   : ThumbnailFirstChoice(photos[i]));
  }
  return names;
}

std::vector<std::string> WithoutThumbnailsOfOthers(const std::vector<std::string>& candidates) {
  std::unordered_set<std::string> looked;
  for (const std::string& name : candidates) {
    looked.insert(ThumbnailFirstChoice(name));
    looked.insert(ThumbnailSecondChoice(name));
  }
  std::vector<std::string> photos;
  for (const std::string& name : candidates) {
    // No name is among its own choices, so a hit is always another photo's.
    if (looked.count(name) == 0) photos.push_back(name);
  }
  return photos;
}

void AssignCopyName(std::string& out, std::string_view photo, int edge) {
  const std::size_t slash = photo.rfind('/');
  const std::size_t name = slash == std::string_view::npos ? 0 : slash + 1;
  out.assign(photo, 0, name).append(kCopiesFolder).append("/").append(photo.substr(name));
  out.append(".").append(std::to_string(edge)).append(".jpg");
}

std::string CopyName(std::string_view photo, int edge) {
  std::string name;
  AssignCopyName(name, photo, edge);
  return name;
}

void FittedSize(int edge, int width, int height, int* fittedWidth, int* fittedHeight) {
  const int longer = std::max(width, height);
  if (longer <= edge || width <= 0 || height <= 0) {
    *fittedWidth = width;
    *fittedHeight = height;
    return;
  }
  const auto scaled = [edge, longer](int side) {
    return std::max(1,
                    static_cast<int>((static_cast<long long>(side) * edge + longer / 2) / longer));
  };
  *fittedWidth = width >= height ? edge : scaled(width);
  *fittedHeight = height >= width ? edge : scaled(height);
}

int ScreenCopyThreshold(int edge, bool shown) {
  if (shown) return edge;
  int smaller = 0;
  for (int screen : kScreenEdges)
    if (screen < edge) smaller = screen;
  return smaller;
}

bool GetsScreenCopy(int edge, int width, int height, bool shown) {
  return width > 0 && height > 0 && std::max(width, height) > ScreenCopyThreshold(edge, shown);
}

bool IsNoAlbumFolder(std::string_view name) {
  if (name.empty() || name[0] == '.' || name[0] == '@' || name[0] == '#' || name[0] == '$')
    return true;
  for (const char* system :
       {kCopiesFolder, "System Volume Information", "lost+found", "__MACOSX"}) {
    if (EqualsIgnoringCase(name, system)) return true;
  }
  return false;
}
