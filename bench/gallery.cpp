// The benchmark gallery: realistic markup around every image, names and captions varied by a
// fixed-seed generator so runs are repeatable.
#include "bench/gallery.h"

#include <random>
#include <string>
#include <vector>

namespace {

constexpr unsigned kSeed = 20240501;

const char* const kPlaces[] = {"Harbour", "Lighthouse", "Dunes",  "Old town", "Market",
                               "Cliffs",  "Pier",       "Forest", "Bay",      "Chapel"};
const char* const kMoments[] = {
    "at dawn", "in the rain", "from the hill", "at low tide", "with Anna & Tom", "before dinner",
    "",        "(panorama)"};

std::string ImageName(int index, std::mt19937& random) {
  std::string number = std::to_string(index);
  number.insert(0, 5 - std::min<std::size_t>(5, number.size()), '0');
  return "img_" + number + (random() % 10 == 0 ? ".JPG" : ".jpg");
}

std::string Caption(std::mt19937& random) {
  std::string caption = kPlaces[random() % 10];
  const std::string moment = kMoments[random() % 8];
  if (!moment.empty()) caption += " " + moment;
  if (caption.find('&') != std::string::npos) caption.replace(caption.find('&'), 1, "&amp;");
  return caption + ", day " + std::to_string(1 + random() % 14);
}

std::string Cell(int index, std::mt19937& random) {
  const std::string name = ImageName(index, random);
  const std::string thumbnail = "<img src=\"" + ThumbnailName(name) +
                                "\" width=\"120\" height=\"90\" border=\"0\" alt=\"" + name + "\">";
  const unsigned shape = random() % 10;
  std::string cell = "<td><a href=\"" + name + "\">" + thumbnail;
  if (shape < 7) {  // thumbnail anchor, then a caption anchor to the same image
    cell += "</a><br>\n<a href=\"" + name + "\">" + Caption(random) + "</a></td>\n";
  } else if (shape < 9) {  // the caption inside the thumbnail's anchor
    cell += "<br>\n" + Caption(random) + "</a></td>\n";
  } else {  // no caption
    cell += "</a></td>\n";
  }
  return cell;
}

}  // namespace

std::string ThumbnailName(const std::string& image) {
  return image.substr(0, image.rfind('.')) + "_t.jpg";
}

std::vector<std::string> GalleryImages(int images) {
  std::vector<std::string> names;
  const std::string page = MakeGallery(images);
  for (std::size_t at = page.find("<td><a href=\""); at != std::string::npos;
       at = page.find("<td><a href=\"", at + 1)) {
    const std::size_t start = at + 13;
    names.push_back(page.substr(start, page.find('"', start) - start));
  }
  return names;
}

std::string MakeGallery(int images) {
  std::mt19937 random(kSeed);
  std::string page =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html>\n<head>\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
      "<title>Summer by the Sea</title>\n</head>\n<body bgcolor=\"#ffffff\">\n"
      "<h1 align=\"center\">Summer by the Sea</h1>\n"
      "<table border=\"0\" cellpadding=\"6\" cellspacing=\"0\" align=\"center\">\n";
  for (int i = 1; i <= images; ++i) {
    if (i % 4 == 1) page += "<tr align=\"center\" valign=\"top\">\n";
    page += Cell(i, random);
    if (i % 4 == 0 || i == images) page += "</tr>\n";
  }
  page +=
      "</table>\n<p><a href=\"../index.html\">Back to all galleries</a></p>\n"
      "<a name=\"end\"></a>\n</body>\n</html>\n";
  return page;
}

namespace {

const char* const kExtensions[] = {".jpg", ".JPG", ".png", ".jpg", ".gif", ".jpeg", ".jpg"};

std::string FolderImage(int index) {
  std::string number = std::to_string(index);
  number.insert(0, 5 - std::min<std::size_t>(5, number.size()), '0');
  return "img/p" + number + kExtensions[index % 7];
}

bool HasThumbnail(int index) {
  return index % 20 == 0;
}

}  // namespace

std::vector<std::string> FolderGalleryImages(int images) {
  std::vector<std::string> names;
  for (int i = 1; i <= images; ++i) names.push_back(FolderImage(i));
  return names;
}

std::vector<std::string> FolderGalleryThumbnails(int images) {
  std::vector<std::string> names;
  for (int i = 1; i <= images; ++i) {
    if (HasThumbnail(i)) names.push_back(ThumbnailName(FolderImage(i)));
  }
  return names;
}

std::string MakeFolderGallery(int images) {
  std::mt19937 random(kSeed);
  std::string page =
      "<HTML>\n<HEAD><TITLE>Our holiday</TITLE></HEAD>\n<BODY>\n<H2>Our holiday</H2>\n<P>\n";
  for (int i = 1; i <= images; ++i) {
    const std::string image = FolderImage(i);
    if (HasThumbnail(i)) {
      page += "<a href=\"" + image + "\"><IMG SRC=\"" + ThumbnailName(image) +
              "\" border=0></a>\n<A HREF=\"" + image + "\">" + Caption(random) + "</A><BR>\n";
    } else if (random() % 3 == 0) {
      page += "<a href=\"" + image + "\" target=\"_blank\">" + Caption(random) + "</a> -\n";
    } else {
      page += "<A HREF=\"" + image + "\">" + Caption(random) + "</A><br>\n";
    }
    if (i % 25 == 0) page += "</P>\n<P>\n";
  }
  return page + "</P>\n<P><A HREF=\"../index.html\">Back</A></P>\n</BODY>\n</HTML>\n";
}
