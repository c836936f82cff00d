// The main window on an X11 desktop with FLTK: a menu bar over a white status area, modal
// message boxes, the file chooser and the browser. FLTK events only feed the message queue; the
// window procedure sees them when the loop hands them out. Built into the desktop module
// (kestrune-desktop.so), whose one entry is KestruneOpenDesktop.
#include "ui/window_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "ui/desktop.h"
#include "ui/message_queue.h"

// Xlib's None macro would hide BoxIcon::None.
#undef None

extern char** environ;

namespace {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 400;
constexpr int kMenuHeight = 25;
constexpr Fl_Font kTextFont = FL_HELVETICA;
constexpr Fl_Fontsize kTextSize = 14;

PlatformWindow* Window = nullptr;
Fl_Window* Frame = nullptr;
Fl_Widget* StatusArea = nullptr;
int ModalDepth = 0;       // modal dialogs open: the status area is painted at once meanwhile
bool InsideDraw = false;  // painting from FLTK's draw(), in the drawing context FLTK prepared

// ---- Status area --------------------------------------------------------------------------------

// The client area: FLTK asks it to draw, the loop decides when the window procedure paints.
class StatusWidget : public Fl_Widget {
 public:
  StatusWidget(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}

  void draw() override {
    if (ModalDepth == 0) {
      RequestPaint();
      return;
    }
    // A modal dialog runs its own loop; paint now, as that loop would on Win32.
    InsideDraw = true;
    QueueRepaintNow(Window);
    InsideDraw = false;
  }

  void resize(int x, int y, int w, int h) override {
    const bool resized = w != this->w() || h != this->h();
    Fl_Widget::resize(x, y, w, h);
    if (resized) QueueResize(w, h);
  }
};

// ---- Signals while a modal dialog waits --------------------------------------------------------

// A signal that asks the program to end answers every modal dialog: a box as if OK was pressed,
// the chooser as if cancelled. Their loops wait for events outside the message queue, so while
// one is open a timeout looks for the signal every tenth of a second: FLTK's own loops wake for
// it whatever else they wait on.
constexpr double kInterruptionCheck = 0.1;

// Every window of the program but the main one, hidden: modal dialogs end once hidden.
void HideModalWindows() {
  std::vector<Fl_Window*> shown;
  for (Fl_Window* window = Fl::first_window(); window != nullptr; window = Fl::next_window(window))
    if (window != Frame) shown.push_back(window);
  for (Fl_Window* window : shown) window->hide();
}

void AnswerModalsOnInterruption(void*) {
  if (QueueInterruption() != 0) HideModalWindows();
  Fl::repeat_timeout(kInterruptionCheck, AnswerModalsOnInterruption);
}

// Modal dialogs: the status text is brought up to date before the dialog covers the loop, and a
// signal ends the dialog while it is open.
struct ModalScope {
  ModalScope() {
    if (Frame != nullptr && Frame->shown()) QueueRepaintNow(Window);
    if (ModalDepth++ == 0) Fl::add_timeout(kInterruptionCheck, AnswerModalsOnInterruption);
  }
  ~ModalScope() {
    if (--ModalDepth == 0) Fl::remove_timeout(AnswerModalsOnInterruption);
  }
};

// ---- Main window --------------------------------------------------------------------------------

void MenuChosen(Fl_Widget*, void* id) {
  QueueMenuCommand(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(id)));
}

void* CommandData(unsigned id) {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(id));
}

// The menu bar built from the program's definition: each popup opens a submenu, each item sends
// its command; "&" marks each mnemonic, as in the Windows menu resource.
std::vector<Fl_Menu_Item> MenuItems;

void BuildMenu(const MenuEntry* menu, std::size_t entries) {
  MenuItems.clear();
  for (std::size_t i = 0; i < entries; ++i) {
    const MenuEntry& entry = menu[i];
    Fl_Menu_Item item{};
    if (entry.kind == MenuEntry::Popup) {
      item.label(entry.label);
      item.flags = FL_SUBMENU;
    } else if (entry.kind == MenuEntry::Item) {
      item.label(entry.label);
      item.callback(MenuChosen, CommandData(entry.command));
    }  // the end of a popup is an empty item
    MenuItems.push_back(item);
  }
  MenuItems.push_back(Fl_Menu_Item{});  // the end of the bar
}

void CloseBoxPressed(Fl_Widget*, void*) {
  // FLTK closes a window on Escape too; this one closes by its close box or File > Exit only.
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  QueueCloseBox();
}

void WaitForEvents() {
  // Damage waiting to be drawn becomes a paint request first; block only when nothing is due.
  Fl::flush();
  // Bounded, so a signal that arrives just before the wait is seen soon all the same.
  if (!QueueMessagePending()) Fl::wait(0.25);
}

void DestroyFrame() {
  if (Frame == nullptr) return;
  Frame->hide();
  delete Frame;
  Frame = nullptr;
  StatusArea = nullptr;
  if (fl_display != nullptr) XFlush(fl_display);
}

PlatformWindow* CreateFrame(WindowProcedure procedure, const MenuEntry* menu, std::size_t entries) {
  DestroyFrame();
  Window = StartMessageQueue(procedure, QueueToolkit{WaitForEvents, DestroyFrame});
  BuildMenu(menu, entries);
  Fl_Group::current(nullptr);
  Frame = new Fl_Window(kFrameWidth, kFrameHeight, "Quillfen");
  Frame->xclass("kestrune");
  Frame->color(FL_WHITE);
  Frame->callback(CloseBoxPressed);
  auto* menuBar = new Fl_Menu_Bar(0, 0, kFrameWidth, kMenuHeight);
  menuBar->menu(MenuItems.data());
  StatusArea = new StatusWidget(0, kMenuHeight, kFrameWidth, kFrameHeight - kMenuHeight);
  Frame->resizable(StatusArea);
  Frame->size_range(200, kMenuHeight + 60);
  Frame->end();
  return Window;
}

void ShowFrame(PlatformWindow*) {
  if (Frame == nullptr) return;
  Frame->show();
  // Drawing before the window is on the screen would be lost, and the run paints at once.
  Frame->wait_for_expose();
  Fl::flush();  // the menu bar; the status area asks the loop for its paint
}

void InvalidateFrame(PlatformWindow*) {
  if (StatusArea != nullptr) StatusArea->redraw();
}

void PaintStatus(PlatformWindow*, const std::string& text) {
  if (Frame == nullptr || !Frame->shown()) return;
  if (!InsideDraw) Frame->make_current();
  const int x = StatusArea->x(), y = StatusArea->y(), w = StatusArea->w(), h = StatusArea->h();
  fl_push_clip(x, y, w, h);
  fl_color(FL_WHITE);
  fl_rectf(x, y, w, h);
  fl_color(FL_BLACK);
  fl_font(kTextFont, kTextSize);
  // From the middle line down, centred across; the text is a link target, so no "@" symbols.
  fl_draw(text.c_str(), x, y + h / 2, w, h - h / 2, FL_ALIGN_TOP | FL_ALIGN_INSIDE, nullptr, 0);
  fl_pop_clip();
  if (!InsideDraw) XFlush(fl_display);
}

// ---- Message boxes ------------------------------------------------------------------------------

constexpr int kBoxMargin = 16;
constexpr int kBoxTextWidth = 420;
constexpr int kIconSize = 44;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 28;

// The box's text, drawn as given: wrapped at blanks, line feeds kept, no "@" symbols or "&".
class BoxText : public Fl_Widget {
 public:
  BoxText(int x, int y, int w, int h, const std::string& text)
      : Fl_Widget(x, y, w, h), text_(text) {}

  void draw() override {
    fl_font(kTextFont, kTextSize);
    fl_color(FL_FOREGROUND_COLOR);
    fl_draw(text_.c_str(), x(), y(), w(), h(),
            FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP | FL_ALIGN_CLIP, nullptr, 0);
  }

 private:
  std::string text_;
};

void StyleIcon(Fl_Box* icon, BoxIcon kind) {
  icon->labelfont(FL_HELVETICA_BOLD);
  icon->labelsize(30);
  if (kind == BoxIcon::Exclamation) {
    icon->label("!");
    icon->box(FL_DIAMOND_BOX);
    icon->color(FL_YELLOW);
    icon->labelcolor(FL_BLACK);
  } else {
    icon->label("i");
    icon->box(FL_OVAL_BOX);
    icon->color(FL_BLUE);
    icon->labelcolor(FL_WHITE);
  }
}

void CloseBox(Fl_Widget* button, void*) {
  button->window()->hide();
}

// The status text, which now names the image found, is drawn before the step goes on.
void RedrawForImage(PlatformWindow* window, const std::string&) {
  QueueRepaintNow(window);
}

void ShowBox(PlatformWindow*, const std::string& text, const std::string& title, BoxIcon icon) {
  if (QueueInterruption() != 0) return;  // answered at once: the program is to end
  fl_font(kTextFont, kTextSize);
  int textWidth = kBoxTextWidth, textHeight = 0;
  fl_measure(text.c_str(), textWidth, textHeight, 0);
  // A name longer than the screen is cut at the box's edge rather than widening it past it.
  textWidth = std::clamp(textWidth, 2 * kButtonWidth, std::max(Fl::w() - 200, kBoxTextWidth));
  const int iconSpace = icon == BoxIcon::None ? 0 : kIconSize + kBoxMargin;
  textHeight = std::max(textHeight, icon == BoxIcon::None ? 0 : kIconSize);
  const int width = kBoxMargin + iconSpace + textWidth + kBoxMargin;
  const int height = kBoxMargin + textHeight + kBoxMargin + kButtonHeight + kBoxMargin;

  Fl_Group::current(nullptr);
  Fl_Window box(width, height);
  box.copy_label(title.c_str());
  box.xclass("kestrune");
  if (icon != BoxIcon::None) {
    StyleIcon(new Fl_Box(kBoxMargin, kBoxMargin, kIconSize, kIconSize), icon);
  }
  new BoxText(kBoxMargin + iconSpace, kBoxMargin, textWidth, textHeight, text);
  auto* ok =
      new Fl_Return_Button(width - kBoxMargin - kButtonWidth, height - kBoxMargin - kButtonHeight,
                           kButtonWidth, kButtonHeight, "OK");
  ok->callback(CloseBox);
  box.end();
  box.set_modal();
  if (Frame != nullptr && Frame->shown()) {
    box.position(Frame->x() + (Frame->w() - width) / 2, Frame->y() + (Frame->h() - height) / 2);
  } else {
    box.position((Fl::w() - width) / 2, (Fl::h() - height) / 2);
  }

  ModalScope modal;
  box.show();
  while (box.shown()) Fl::wait();
}

// ---- Chooser and browser ------------------------------------------------------------------------

// The GTK chooser, which FLTK prefers where GTK is installed, runs GTK's loop instead of FLTK's:
// GTK, as FLTK loaded it, gets a timeout of its own that cancels its dialogs once a signal
// arrived. Public GTK and GLib calls (the same in GTK 2 and 3), looked up in the library FLTK
// loaded; none of it is needed where FLTK shows its own chooser.
struct GtkCalls {
  unsigned (*addTimeout)(unsigned interval, int (*function)(void*), void* data);
  int (*removeSource)(unsigned source);
  void* (*listToplevels)();  // a GList of GtkWindow
  void (*freeList)(void* list);
  unsigned long (*dialogType)();
  int (*isA)(void* instance, unsigned long type);
  void (*respond)(void* dialog, int response);
};

// GList's first members, as GLib defines them.
struct GtkListNode {
  void* data;
  GtkListNode* next;
};

constexpr int kGtkResponseCancel = -6;

bool FindGtkCalls(GtkCalls* calls) {
  void* gtk = nullptr;
  for (const char* library : {"libgtk-3.so.0", "libgtk-x11-2.0.so.0"}) {
    gtk = ::dlopen(library, RTLD_LAZY | RTLD_NOLOAD);  // only one already loaded
    if (gtk != nullptr) break;
  }
  if (gtk == nullptr) return false;
  const auto find = [gtk](auto* function, const char* name) {
    *function = reinterpret_cast<std::remove_pointer_t<decltype(function)>>(::dlsym(gtk, name));
    return *function != nullptr;
  };
  const bool found =
      find(&calls->addTimeout, "g_timeout_add") && find(&calls->removeSource, "g_source_remove") &&
      find(&calls->listToplevels, "gtk_window_list_toplevels") &&
      find(&calls->freeList, "g_list_free") && find(&calls->dialogType, "gtk_dialog_get_type") &&
      find(&calls->isA, "g_type_check_instance_is_a") &&
      find(&calls->respond, "gtk_dialog_response");
  ::dlclose(gtk);  // FLTK keeps it loaded
  return found;
}

int CancelGtkDialogsOnInterruption(void* data) {
  const GtkCalls* calls = static_cast<const GtkCalls*>(data);
  if (QueueInterruption() == 0) return 1;  // again after the next interval
  void* toplevels = calls->listToplevels();
  for (auto* node = static_cast<GtkListNode*>(toplevels); node != nullptr; node = node->next) {
    if (calls->isA(node->data, calls->dialogType())) calls->respond(node->data, kGtkResponseCancel);
  }
  calls->freeList(toplevels);
  return 1;
}

// FLTK's GTK chooser works with GTK 2 alone. Where GTK 2 is missing (a system with GTK 3 only),
// FLTK loads GTK 3, fails to find a GTK 2 call, says so on standard error and shows its own
// chooser: there its own chooser is asked for from the start, without the stray line.
void PickChooser() {
  static const bool gtk2 = ::dlopen("libgtk-x11-2.0.so.0", RTLD_LAZY | RTLD_GLOBAL) != nullptr;
  if (!gtk2) Fl::option(Fl::OPTION_FNFC_USES_GTK, false);  // GTK 2 stays loaded for FLTK
}

bool ChooseFile(const std::string& initialFolder, const std::string& title, std::string* chosen) {
  if (QueueInterruption() != 0) return false;  // nothing chosen: the program is to end
  PickChooser();
  Fl_Native_File_Chooser chooser;  // loads GTK, where FLTK uses it
  chooser.type(Fl_Native_File_Chooser::BROWSE_FILE);
  chooser.title(title.c_str());
  chooser.directory(initialFolder.c_str());
  ModalScope modal;
  GtkCalls gtk{};
  const unsigned gtkTimeout = FindGtkCalls(&gtk)
                                  ? gtk.addTimeout(static_cast<unsigned>(kInterruptionCheck * 1000),
                                                   CancelGtkDialogsOnInterruption, &gtk)
                                  : 0;
  const int shown = chooser.show();
  if (gtkTimeout != 0) gtk.removeSource(gtkTimeout);
  if (shown != 0 || QueueInterruption() != 0) return false;  // cancelled (1), failed (-1), ended
  const char* name = chooser.filename();
  if (name == nullptr || *name == '\0') return false;
  *chosen = name;
  return true;
}

bool ChooseFolderFltk(const std::string& initialFolder, const std::string& title,
                      std::string* chosen) {
  PickChooser();
  Fl_Native_File_Chooser chooser;
  chooser.type(Fl_Native_File_Chooser::BROWSE_DIRECTORY);
  chooser.title(title.c_str());
  chooser.directory(initialFolder.c_str());
  ModalScope modal;
  if (chooser.show() != 0) return false;  // cancelled (1) or failed (-1)
  const char* name = chooser.filename();
  if (name == nullptr || *name == '\0') return false;
  *chosen = name;
  return true;
}

constexpr int kBrowserWaitSteps = 60;  // 50 ms each: how long xdg-open may take to report
std::vector<pid_t> LaunchersRunning;

// Reaps launchers that outlived their wait and have ended since.
void ReapLaunchers() {
  LaunchersRunning.erase(std::remove_if(LaunchersRunning.begin(), LaunchersRunning.end(),
                                        [](pid_t child) {
                                          int status = 0;
                                          return ::waitpid(child, &status, WNOHANG) != 0;
                                        }),
                         LaunchersRunning.end());
}

bool OpenInBrowser(PlatformWindow*, const std::string& address) {
  ReapLaunchers();
  const char* arguments[] = {"xdg-open", address.c_str(), nullptr};
  pid_t child = 0;
  if (::posix_spawnp(&child, "xdg-open", nullptr, nullptr, const_cast<char**>(arguments),
                     environ) != 0) {
    return false;
  }
  for (int step = 0; step < kBrowserWaitSteps; ++step) {
    int status = 0;
    const pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (ended < 0) return false;
    ::usleep(50 * 1000);
  }
  // Some launchers wait for the browser they started; one still running has found a browser.
  LaunchersRunning.push_back(child);
  return true;
}

}  // namespace

const WindowOperations DesktopWindowOperations = {
    ShowBox,
    CreateFrame,
    ShowFrame,
    QueuePostWindowMessage,
    QueueGetNextMessage,
    QueueDefaultWindowProc,
    QueuePostQuit,
    RedrawForImage,
    InvalidateFrame,
    PaintStatus,
    ChooseFile,
    OpenInBrowser,
    QueueWatchInterruption,
    ChooseFolderFltk,
};

const WindowOperations* KestruneOpenDesktop() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return nullptr;
  Display* display = XOpenDisplay(name);
  if (display == nullptr) return nullptr;
  fl_open_display(display);
  return &DesktopWindowOperations;
}

Fl_Window* DesktopFrame() {
  return Frame;
}
