// The names of the files kestrune reads and writes, each rule written here once: which links and
// files are images, the base name, the two slide pages of an image, the places its thumbnail is
// looked for and made, and the sheets' own names. The scanner, the walk of a sheet, the folder
// gallery, the dry run and the clean all name files through these.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// ---- Sheets
// --------------------------------------------------------------------------------------

// The combined page, written beside the contact sheet.
inline constexpr char kCombinedPageName[] = "allin1.html";
// The contact sheet a folder gallery writes in its folder.
inline constexpr char kGallerySheetName[] = "index.html";

// ---- Images and photos
// -----------------------------------------------------------------------------

// True when `link` ends in an extension of the images a contact sheet's links are read for (.jpg,
// .jpe, .jpeg, .gif, .png), in any case.
bool HasImageExtension(std::string_view link);

// True when `link` ends in an extension of the photos kestrune reads: the images above, and
// HEIC and HEIF, AVIF, WebP and TIFF (.heic, .heif, .hif, .avif, .webp, .tif, .tiff), in any
// case. A sheet kestrune wrote links photos of all of them.
bool HasPhotoExtension(std::string_view link);

// A photo of a folder: a name with a photo's extension and something before it.
bool IsPhotoName(std::string_view name);

// True when browsers show `link`'s kind of photo themselves (JPEG, PNG, GIF, WebP, AVIF); HEIC,
// HEIF and TIFF are shown by their copies.
bool BrowserShows(std::string_view link);

// ---- Base names and slide pages
// ------------------------------------------------------------------

// The name cut before its last "."; a name without "." is its own base.
std::string_view BaseName(std::string_view name);

// The name without its extension, as a caption shows it: cut before its last "." unless that is
// its first character (".profile" stays whole).
std::string_view NameWithoutExtension(std::string_view name);

// The pages of `image`: its base name with ".htm" (the manual page) and ".html" (the automatic
// one), into `out`, whose room is kept.
void AssignManualPageName(std::string& out, std::string_view image);
void AssignAutomaticPageName(std::string& out, std::string_view image);

// ---- Thumbnails
// ------------------------------------------------------------------------------------

// The two names the PREVIOUS icon of `image` is looked for under, in that order: a.png gives
// a_t.jpg, then tn_a_png.jpg. `image` must hold a "."; into `out`, whose room is kept.
void AssignThumbnailFirstChoice(std::string& out, std::string_view image);
void AssignThumbnailSecondChoice(std::string& out, std::string_view image);
std::string ThumbnailFirstChoice(std::string_view image);
std::string ThumbnailSecondChoice(std::string_view image);

// True when `name` may be one of those choices for some image: what a folder's listing has to
// look at for kestrune's mark.
bool MayBeThumbnailName(std::string_view name);

// The thumbnail's name for each of `photos`, where the icon lookup will find it: the first
// choice, unless another photo has the same base name (a.jpg and a.png), since the lookup would
// find that one name for both; each such photo then gets its second choice.
std::vector<std::string> ThumbnailNames(const std::vector<std::string>& photos);

// `candidates` without the names where the icon lookup looks for another candidate's thumbnail:
// such a file is that photo's thumbnail, not a photo of its own (a_t.jpg beside a.jpg).
std::vector<std::string> WithoutThumbnailsOfOthers(const std::vector<std::string>& candidates);

// What a thumbnail kestrune makes is: fitted into this many pixels each way, JPEG of this quality.
inline constexpr int kThumbnailEdge = 240;
inline constexpr int kThumbnailQuality = 85;

// ---- Copies of photos
// ------------------------------------------------------------------------------

// The folder of kestrune's beside the photos that holds their copies: a thumbnail twice the size
// for dense screens, and copies sized for screens, which a slide shows in place of the photo.
inline constexpr char kCopiesFolder[] = "kestrune-copies";
inline constexpr int kDenseThumbnailEdge = 2 * kThumbnailEdge;
// The long edges of the screen-sized copies, smallest first, and their JPEG quality.
inline constexpr int kScreenEdges[] = {1280, 2560};
inline constexpr int kCopyQuality = 82;

// The copy of `photo` (a name or a link, perhaps in a folder) fitted into edge x edge pixels, in
// the copies folder beside it, named after the whole photo name: "sub/a.jpg" gives
// "sub/kestrune-copies/a.jpg.1280.jpg". Into `out`, whose room is kept.
void AssignCopyName(std::string& out, std::string_view photo, int edge);
std::string CopyName(std::string_view photo, int edge);

// The size of a copy of a photo of width x height pixels fitted into edge x edge, never enlarged.
void FittedSize(int edge, int width, int height, int* fittedWidth, int* fittedHeight);

// How long a photo's longer side must be for it to get a screen copy of `edge`: longer than the
// copy, and, for a photo browsers do not show (`shown` false), longer than the next smaller copy,
// so that the smallest copy that holds such a photo whole is made too (at its own size) and every
// such photo has one.
int ScreenCopyThreshold(int edge, bool shown);
bool GetsScreenCopy(int edge, int width, int height, bool shown);

// How long a photo's longer side must be for it to get the thumbnail for dense screens: longer
// than the thumbnail.
inline constexpr int kDenseThumbnailThreshold = kThumbnailEdge;

// ---- Folders of a tree of albums ---------------------------------------------------------------

// Folders that are never albums: hidden ones (".name"), kestrune's own folder of copies, and those
// that systems and NAS boxes fill with files of their own (Synology's "@eaDir" and "#recycle",
// QNAP's "@Recycle", Windows' "$RECYCLE.BIN" and "System Volume Information", "lost+found",
// macOS's "__MACOSX").
bool IsNoAlbumFolder(std::string_view name);

// How many folders below the top of a tree an album may lie; deeper folders are not made.
inline constexpr int kDeepestAlbum = 16;
