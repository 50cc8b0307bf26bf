// The program entry. It takes the module instance and nothing else, and hands it to the
// game, which constructs GameApp, gives it the program's settings, creates and runs it.
// The game is linked in (game/game_app.cpp); only its entry function is named here, so
// the frame's folder stays below the game in the layering.
#include "platform/win32/windows.h"

int GameMain(HINSTANCE instance);

int main() { return GameMain(GetModuleHandleA(nullptr)); }
