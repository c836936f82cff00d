/* Command ids of the main menu. The resource script and the program both take them from here;
   shell/main_win32.cpp checks that they equal the IDM_* ids of the core. */
#pragma once

#define MENU_ID_OPEN 1
#define MENU_ID_EXIT 2
#define MENU_ID_ABOUT 3
#define MENU_ID_HELP 4
