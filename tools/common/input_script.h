// The capture tool's input script: one event per line, "FRAME EVENT [ARGS]".
//   keydown KEY | keyup KEY | press KEY (down at FRAME, up at FRAME+1)
//   mousedown | mouseup | cursor X Y | activate | deactivate | close
// KEY is one character (a letter, a digit) or a name: SPACE, LEFT, RIGHT, UP, DOWN, ESC,
// F1 to F12. Blank lines and lines starting with '#' are skipped.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/windows.h"

struct ScriptEvent {
    enum class Kind { Message, Cursor };
    int frame = 0;
    Kind kind = Kind::Message;
    UINT message = 0;  // Message: posted to the window before pass `frame`
    WPARAM wParam = 0;
    int x = 0, y = 0;  // Cursor: the position GetCursorPos reports from pass `frame` on
};

// Parses the script text. Events come back ordered by frame, and within a frame in the
// order of their lines; a press's key-up counts as written on the press's line. On a bad
// line returns false with a message naming the line.
bool ParseInputScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error);

// The virtual-key code of a script key name, or 0 when the name is unknown.
WPARAM VirtualKeyFromName(const std::string& name);
