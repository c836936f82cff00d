/* The main menu, defined once: the resource script (resources/kestrune.rc) and the window
   procedure both expand KESTRUNE_MENU, so the Windows menu resource and the menu the desktop
   window builds from the table cannot differ. Plain macros, for the resource compiler too. */
#ifndef KESTRUNE_APP_MENU_H
#define KESTRUNE_APP_MENU_H

/* Command ids, carried in the low word of the command message's wParam. */
#define IDM_OPEN 1
#define IDM_EXIT 2
#define IDM_ABOUT 3
#define IDM_HELP 4
#define IDM_OPEN_FOLDER 5

/* Each popup with its items in order; "&" marks a mnemonic. About stands last although its id
   is lower than Help's. */
/* clang-format off */
#define KESTRUNE_MENU(POPUP, ITEM, END_POPUP)                                      \
  POPUP("&File") ITEM("&Open", IDM_OPEN) ITEM("Open &Folder...", IDM_OPEN_FOLDER)  \
  ITEM("E&xit", IDM_EXIT) END_POPUP                                                \
  POPUP("&Help") ITEM("&Help...", IDM_HELP) ITEM("&About...", IDM_ABOUT) END_POPUP
/* clang-format on */

#endif
