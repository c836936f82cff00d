// Contact sheets shaped like the gallery pages that photo programs write, for benchmarks.
#pragma once

#include <string>
#include <vector>

// A gallery page of `images` images, four to a table row: mostly a thumbnail anchor followed by
// a caption anchor to the same image, some captions inside the thumbnail's anchor after a
// "<br>", some images with no caption at all. The same count always gives the same bytes.
std::string MakeGallery(int images);

// The images of MakeGallery(images) in order, and the thumbnail each one shows ("a.jpg" shows
// "a_t.jpg", the name the slide show looks for as the PREVIOUS icon).
std::vector<std::string> GalleryImages(int images);
std::string ThumbnailName(const std::string& image);

// The commonest layout of a hand-made gallery: a contact sheet beside a folder img/ that holds
// the photos, with mixed extensions (.jpg, .JPG, .png, .gif, .jpeg), and a thumbnail NAME_t.jpg
// for one photo in twenty. The sheet is edited by hand: a thumbnail anchor then a text anchor
// where there is a thumbnail, plain text anchors elsewhere, in uneven markup. Same count, same
// bytes.
std::string MakeFolderGallery(int images);
std::vector<std::string> FolderGalleryImages(int images);
// The thumbnails that FolderGalleryImages(images) has.
std::vector<std::string> FolderGalleryThumbnails(int images);
