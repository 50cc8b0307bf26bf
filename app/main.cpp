// The program entry. It takes the module instance and nothing else, and hands it to the
// game, which constructs GameApp, gives it the program's settings, creates and runs it.
// This file is the executable's own, above every layer, so it may name the game.
#include "game/game_app.h"

int main() { return GameMain(GetModuleHandleA(nullptr)); }
