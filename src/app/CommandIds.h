// The command ids of the menus and toolbars: the numbers the menu items and
// buttons carry as object names, so that tests and the program meet on them.
#pragma once

namespace panora {

enum CommandId : int {
  ID_FILE_PRINT = 57607,
  ID_FILE_PRINT_DIRECT = 57608,
  ID_FILE_PRINT_PREVIEW = 57609,
  ID_EDIT_UNDO = 57643,
  ID_EDIT_REDO = 57644,
  ID_LOAD_MODE_CTX = 32700,
  ID_SAVE_MODE_CTX = 32701,
  ID_MODE_SETTING_CTX = 32702,
  ID_WINDOW_ADJUST_CTX = 32703,
  ID_FILE_OPEN = 32704,
  ID_FILE_SAVE = 32705,
  ID_FILE_SAVE_AS = 32706,
  ID_CONN_RS232 = 32710,
  ID_CONN_USB = 32712,
  ID_CONN_TCPIP = 32713,
  ID_CONN_DISCONNECT = 32714,
  ID_SEND_SETUP = 32715,
  ID_SEND_SETUP_ALL = 32716,  // with the user modes
  ID_SEND_SETUP_CTX = 32707,
  ID_SEND_SETUP_ALL_CTX = 32708,
  ID_LOAD_MODE = 32720,
  ID_SAVE_MODE = 32721,
  ID_MODE_SETTING = 32722,
  ID_WINDOW_ADJUST = 32723,
  ID_FACTORY_RESET = 32724,
  ID_ABOUT_SOFT = 32740,
  ID_ABOUT_FIRMWARE = 32741,
  ID_QUICK_MODE_FIRST = 32791,  // 12 buttons
  ID_WINDOW_FIRST = 32781,      // 4 buttons
  ID_TOOL_FIRST = 32810,        // 8 buttons
};

}  // namespace panora
