// Resource ids shared by the resource script and the program.
#pragma once

#define IDI_APP_ICON 1
#define IDB_LOGO 101
