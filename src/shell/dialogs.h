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

#include <cstdint>

struct PlatDialog;

// Rows that no PAK directory holds: the archive layer's rows of any other
// archive, set for the time its map list runs. While MapListRows is set
// the list shows exactly these, in this order; while it is null, the PAK
// directory's entries under "maps/".
extern const char *const *MapListRows;
extern int32_t MapListRowCount;
// The row OK took, counted among the rows shown, or -1 when no map was
// chosen. Rows of other archives can be longer than selectedMapName holds,
// so their reader goes by this.
extern int32_t selectedMapRow;

// While set, the map list is not shown: a backend's PlatRunMapSelectDialog
// answers it at once with AnswerMapList. A reload of the Linux program sets
// it to the row it read before, so reading the archive again takes the
// same row without asking.
extern const char *MapListAnswer;
// Answers the map list as OK on the first row, of those MapSelectInit would
// offer, whose text equals MapListAnswer; as Cancel when there is none.
void AnswerMapList(void);

// The controls that close a dialog, as the dialog templates number them.
enum { DIALOG_OK = 1, DIALOG_CANCEL = 2 };

// Map list. Init fills the list with the archive's entries under "maps/" in
// directory order (or with MapListRows) and empties selectedMapName and
// selectedMapRow. Command handles a control identifier (the low 16 bits of
// the command): OK takes the selected row, if any; OK and Cancel close the
// dialog with result 1. Returns 1 (TRUE) when handled, 0 otherwise.
void MapSelectInit(PlatDialog *dialog);
int MapSelectCommand(PlatDialog *dialog, int control);
// About box: OK or Cancel close it with result 1.
int AboutCommand(PlatDialog *dialog, int control);

#endif
