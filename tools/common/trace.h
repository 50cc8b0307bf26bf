// One line of the simulation trace: a JSON object with the pass, whether it rendered,
// the camera, speed, modes and both vehicles, ending in a newline. The capture tool writes
// them to its --trace file; the web page of the game hands the same lines to the page.
#pragma once

#include <string>

class GameApp;

std::string TraceLine(int pass, bool rendered, GameApp& app);
