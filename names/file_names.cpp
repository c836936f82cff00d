#include "names/file_names.h"

#include <algorithm>
#include <unordered_set>

#include "names/ascii.h"

bool HasImageExtension(std::string_view link) {
  const std::size_t dot = link.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view extension = link.substr(dot);
  for (const char* accepted : {".jpg", ".gif", ".png", ".jpe", ".jpeg"}) {
    if (EqualsIgnoringCase(extension, accepted)) return true;
  }
  return false;
}

bool IsPhotoName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string_view::npos && dot > 0 && HasImageExtension(name);
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
