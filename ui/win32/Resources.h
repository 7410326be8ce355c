// Resource ids, shared by the resource scripts and the code.
#pragma once

// Quarrow's icon, 16 x 16 and 32 x 32 (Quarrow.ico); as the program's only
// icon it is also the one Explorer shows for Quarrow.exe.
#define QUARROW_ICON 1
