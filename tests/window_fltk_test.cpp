// The FLTK window's widgets, driven without a display: what each menu item, the close box, a
// resize and a draw request become in the message queue.
#include "ui/window_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/menu.h"
#include "ui/message_queue.h"

namespace {

std::vector<unsigned> Received;

std::intptr_t Procedure(PlatformWindow*, unsigned message, std::uintptr_t, std::intptr_t) {
  Received.push_back(message);
  return 0;
}

// The messages waiting in the loop, taken without asking the toolkit (there is no display).
std::vector<std::string> Waiting() {
  std::vector<std::string> waiting;
  PlatformMessage message;
  int exitCode = 0;
  while (QueueMessagePending() && QueueGetNextMessage(&message, &exitCode)) {
    std::string text = std::to_string(message.message);
    if (message.message == MsgCommand) text = "Command " + std::to_string(message.wParam);
    if (message.message == MsgSize) {
      text = "Size " + std::to_string(message.lParam & 0xFFFF) + "x" +
             std::to_string(message.lParam >> 16);
    }
    if (message.message == MsgClose) text = "Close";
    if (message.message == MsgPaint) text = "Paint";
    waiting.push_back(text);
  }
  return waiting;
}

class FltkWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    Received.clear();
    window_ = DesktopWindowOperations.createMainWindow(Procedure, kMainMenu, kMainMenuEntries);
    frame_ = DesktopFrame();
    ASSERT_NE(frame_, nullptr);
    ASSERT_EQ(frame_->children(), 2);
    menuBar_ = dynamic_cast<Fl_Menu_Bar*>(frame_->child(0));
    statusArea_ = frame_->child(1);
    ASSERT_NE(menuBar_, nullptr);
  }

  void TearDown() override {
    if (DesktopFrame() != nullptr) QueueDefaultWindowProc(window_, MsgClose, 0, 0);
  }

  PlatformWindow* window_ = nullptr;
  Fl_Window* frame_ = nullptr;
  Fl_Menu_Bar* menuBar_ = nullptr;
  Fl_Widget* statusArea_ = nullptr;
};

TEST_F(FltkWindowTest, TitledQuillfenWithAWhiteStatusAreaBelowTheMenuBar) {
  EXPECT_STREQ(frame_->label(), "Quillfen");
  EXPECT_STREQ(frame_->xclass(), "kestrune");
  EXPECT_EQ(frame_->color(), FL_WHITE);
  EXPECT_EQ(menuBar_->y(), 0);
  EXPECT_EQ(statusArea_->y(), menuBar_->h());
  EXPECT_EQ(statusArea_->y() + statusArea_->h(), frame_->h());
  EXPECT_EQ(frame_->resizable(), statusArea_);
}

// Each menu entry as it stands, and what choosing it sends to the window procedure.
TEST_F(FltkWindowTest, MenuItemsBecomeCommandsWithTheirIds) {
  std::vector<std::string> entries;
  const Fl_Menu_Item* items = menuBar_->menu();
  for (int i = 0; i < menuBar_->size() - 1; ++i) {
    const Fl_Menu_Item& item = items[i];
    if (item.label() == nullptr) {
      entries.push_back("end");
    } else if (item.submenu()) {
      entries.push_back(std::string(item.label()) + " >");
    } else {
      const_cast<Fl_Menu_Item&>(item).do_callback(menuBar_);
      const std::vector<std::string> sent = Waiting();
      entries.push_back(std::string(item.label()) + " = " + (sent.size() == 1 ? sent[0] : "?"));
    }
  }
  EXPECT_EQ(entries, (std::vector<std::string>{"&File >", "&Open = Command 1",
                                               "Open &Folder... = Command 5", "E&xit = Command 2",
                                               "end", "&Help >", "&Help... = Command 4",
                                               "&About... = Command 3", "end"}));
}

TEST_F(FltkWindowTest, CloseBoxBecomesCloseButEscapeDoesNot) {
  Fl::e_number = FL_SHORTCUT;
  Fl::e_keysym = FL_Escape;
  frame_->do_callback();
  EXPECT_EQ(Waiting(), std::vector<std::string>{});
  Fl::e_number = 0;
  Fl::e_keysym = 0;
  frame_->do_callback();
  EXPECT_EQ(Waiting(), std::vector<std::string>{"Close"});
}

TEST_F(FltkWindowTest, ResizeSendsTheNewStatusAreaSizeOnce) {
  const int menuHeight = menuBar_->h();
  frame_->resize(frame_->x(), frame_->y(), 800, 600 + menuHeight);
  frame_->resize(frame_->x() + 10, frame_->y(), 800, 600 + menuHeight);  // a move only
  EXPECT_EQ(Waiting(), std::vector<std::string>{"Size 800x600"});
  EXPECT_EQ(menuBar_->w(), 800);
}

TEST_F(FltkWindowTest, DrawRequestWaitsForTheLoop) {
  statusArea_->draw();
  statusArea_->draw();
  EXPECT_EQ(Received, std::vector<unsigned>{});  // nothing painted from inside FLTK's draw
  EXPECT_EQ(Waiting(), std::vector<std::string>{"Paint"});
}

TEST_F(FltkWindowTest, DestroyingTheWindowFreesItsWidgetsAndDropsItsInput) {
  frame_->do_callback();
  QueueDefaultWindowProc(window_, MsgClose, 0, 0);
  EXPECT_EQ(Received, std::vector<unsigned>{MsgDestroy});
  EXPECT_EQ(DesktopFrame(), nullptr);
  EXPECT_FALSE(QueuePostWindowMessage(window_, MsgStep, 0, 0));
  PlatformMessage message;
  int exitCode = -1;
  EXPECT_FALSE(QueueGetNextMessage(&message, &exitCode));  // the queued close is gone
}

}  // namespace
