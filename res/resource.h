/* resource.h - identifiers shared by the menu and dialog templates and the code.
 *
 * The menu "KORVITANMenu" and the dialogs "DlgSMap" and "AboutBox" use these
 * numbers; every backend (Win32 resources, GTK menus, the command line) takes
 * them from here so a command means the same thing everywhere. Plain #defines
 * so the resource compiler can read this file too.
 */
#ifndef KORVITAN_RESOURCE_H
#define KORVITAN_RESOURCE_H

#define IDM_ABOUT 100
#define IDM_OPENPAK 101
#define IDM_OPENBSP 102
#define IDM_EXIT 103
#define IDC_MAPLIST 104 /* list box of "DlgSMap"; not a menu command */
#define IDM_VIEW_XY 105
#define IDM_VIEW_XZ 106
#define IDM_VIEW_YZ 107
#define IDM_VIEW_3DX 108
#define IDM_VIEW_3DY 109
#define IDM_VIEW_3DZ 110

/* The main window's commands are the identifiers in this range, 104 aside. */
#define IDM_FIRST_COMMAND IDM_ABOUT
#define IDM_LAST_COMMAND IDM_VIEW_3DZ

/* The program's version (KORVITAN_VERSION, as every --version prints it),
 * made by the build from project(VERSION). */
#include "korvitan_version.h"

/* The five centred lines of the About box; the first names the version. */
#define ABOUT_LINE1 KORVITAN_VERSION_LINE
#define ABOUT_LINE2 "Edge skeleton viewer for level files"
#define ABOUT_LINE3 "and the archives that hold them"
#define ABOUT_LINE4 "Written by the KORVITAN developers"
#define ABOUT_LINE5 "Free to use, share and change"

#endif
