// What the generation says to the user and asks of the user: message boxes, the file chooser,
// progress, and the lines of a result. The window machinery in use implements it (ui/), so the
// generation needs neither the window's header nor its implementation.
#pragma once

#include <string>

// The main window, owned by the window machinery; nullptr means none.
struct PlatformWindow;

enum class BoxIcon { None, Exclamation, Information };

// Modal: returns only once the user has dismissed the box. Headless, the box is one record
// "TITLE: TEXT" and a line feed on standard error.
void ShowMessageBox(PlatformWindow* owner, const std::string& text, const std::string& title,
                    BoxIcon icon);

// Lets the user choose a file, starting in `initialFolder`; false when nothing was chosen.
bool ChooseContactSheet(const std::string& initialFolder, const std::string& title,
                        std::string* chosen);

// Lets the user choose a folder, starting in `initialFolder`; false when none was chosen (and
// always without a window that can ask).
bool ChooseFolder(const std::string& initialFolder, const std::string& title, std::string* chosen);

// Says that the scan found the image linked as `target`, which is now the status text: the
// window redraws it before returning (headless, a progress line counts it). Once per image found.
void ImageFound(PlatformWindow* window, const std::string& target);

// Says that a step other than an image found (a photo's thumbnail made) is now the status text
// `text`: drawn at once like ImageFound, but not counted as an image (headless, the progress line
// shows the text alone).
void StepShown(PlatformWindow* window, const std::string& text);

// One line of the result of a dry run or a clean: a file and what happens to it. `notable` marks
// a line about a file that is kept or refused. POSIX: on standard output at once; Windows, where a
// GUI program has no console: kept for ShowResult.
void TellResultLine(const std::string& line, bool notable);

// Ends that result with its summary. POSIX: one more line on standard output; Windows: one
// message box titled `title`, the summary first, then the first notable lines told (`failed`
// chooses its icon). False when the result could not be shown (standard output failed).
bool ShowResult(const std::string& summary, const std::string& title, bool failed);
