// dialogs.h - the logic of the map list ("Select a MAP!") and the About box.
//
// Host-free: a backend's dialog procedure hands the dialog's start and each
// control it reports to these, and they work the dialog through the list
// operations of platform.h.
//
//   map list started   -> MapSelectInit    control -> MapSelectCommand
//   About control      -> AboutCommand
#ifndef KORVITAN_SHELL_DIALOGS_H
#define KORVITAN_SHELL_DIALOGS_H

struct PlatDialog;

// The controls that close a dialog, as the dialog templates number them.
enum { DIALOG_OK = 1, DIALOG_CANCEL = 2 };

// Map list. Init fills the list with the archive's entries under "maps/" in
// directory order and empties selectedMapName. Command handles a control
// identifier (the low 16 bits of the command): OK takes the selected row,
// if any; OK and Cancel close the dialog with result 1. Returns 1 (TRUE)
// when handled, 0 otherwise.
void MapSelectInit(PlatDialog *dialog);
int MapSelectCommand(PlatDialog *dialog, int control);
// About box: OK or Cancel close it with result 1.
int AboutCommand(PlatDialog *dialog, int control);

#endif
