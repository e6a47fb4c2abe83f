// Test controls of the portable files: failures of ReplaceFileW and MoveFileExW that no file
// system here would give on its own.
#pragma once

#include "layer_only.h"

#include "win32/files.h"

// The next ReplaceFileW that would otherwise succeed fails with `error` after giving the
// replacement the replaced file's access, and leaves the files as Windows documents for it
// when no backup is asked for:
//   ERROR_UNABLE_TO_REMOVE_REPLACED     both files under their own names;
//   ERROR_UNABLE_TO_MOVE_REPLACEMENT    the replaced file deleted, the replacement under
//                                       its own name;
//   ERROR_UNABLE_TO_MOVE_REPLACEMENT_2  the replaced file under another name in its folder,
//                                       the replacement under its own name.
// ERROR_SUCCESS takes back a failure not yet used.
void PortableFailNextReplace(DWORD error);

// The next MoveFileExW fails with `error` and moves nothing; ERROR_SUCCESS takes it back.
void PortableFailNextMove(DWORD error);
