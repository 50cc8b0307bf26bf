#include "tools/common/input_script.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sstream>

namespace {

struct NamedKey {
    const char* name;
    WPARAM key;
};
constexpr NamedKey kNamedKeys[] = {
    {"SPACE", VK_SPACE}, {"LEFT", VK_LEFT}, {"RIGHT", VK_RIGHT}, {"UP", VK_UP},   {"DOWN", VK_DOWN},
    {"ESC", VK_ESCAPE},  {"F1", VK_F1},     {"F2", VK_F2},       {"F3", VK_F3},   {"F4", VK_F4},
    {"F5", VK_F5},       {"F6", VK_F6},     {"F7", VK_F7},       {"F8", VK_F8},   {"F9", VK_F9},
    {"F10", VK_F10},     {"F11", VK_F11},   {"F12", VK_F12},
};

bool ParseInt(const std::string& word, int& value) {
    const char* end = word.data() + word.size();
    const auto [ptr, ec] = std::from_chars(word.data(), end, value);
    return ec == std::errc() && ptr == end;
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

WPARAM VirtualKeyFromName(const std::string& name) {
    if (name.size() == 1) {
        const unsigned char c = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(name[0])));
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            return c;
        if (c == ' ')
            return VK_SPACE;
        return 0;
    }
    const std::string upper = Upper(name);
    for (const NamedKey& key : kNamedKeys) {
        if (upper == key.name)
            return key.key;
    }
    return 0;
}

bool ParseInputScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error) {
    struct Ordered {
        ScriptEvent event;
        int line;
    };
    std::vector<Ordered> ordered;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty() || w[0][0] == '#')
            continue;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(number) + ": " + why + " (\"" + line + "\")";
            return false;
        };
        ScriptEvent event;
        if (!ParseInt(w[0], event.frame) || event.frame < 0)
            return fail("the frame must be a number from 0");
        if (w.size() < 2)
            return fail("an event is missing");
        const std::string name = w[1];
        auto expectArgs = [&](std::size_t count) { return w.size() == 2 + count; };
        if (name == "keydown" || name == "keyup" || name == "press") {
            if (!expectArgs(1))
                return fail(name + " takes one key");
            event.wParam = VirtualKeyFromName(w[2]);
            if (event.wParam == 0)
                return fail("unknown key \"" + w[2] + "\"");
            event.message = name == "keyup" ? WM_KEYUP : WM_KEYDOWN;
            ordered.push_back({event, number});
            if (name == "press") {
                if (event.frame == INT32_MAX)
                    return fail("the frame is too large for a press");
                ScriptEvent up = event;
                up.frame = event.frame + 1;
                up.message = WM_KEYUP;
                ordered.push_back({up, number});
            }
        } else if (name == "mousedown" || name == "mouseup") {
            if (!expectArgs(0))
                return fail(name + " takes no argument");
            event.message = name == "mousedown" ? WM_LBUTTONDOWN : WM_LBUTTONUP;
            ordered.push_back({event, number});
        } else if (name == "cursor") {
            if (!expectArgs(2) || !ParseInt(w[2], event.x) || !ParseInt(w[3], event.y))
                return fail("cursor takes two whole numbers X Y");
            event.kind = ScriptEvent::Kind::Cursor;
            ordered.push_back({event, number});
        } else if (name == "activate" || name == "deactivate") {
            if (!expectArgs(0))
                return fail(name + " takes no argument");
            event.message = WM_ACTIVATE;
            event.wParam = name == "activate" ? WA_ACTIVE : WA_INACTIVE;
            ordered.push_back({event, number});
        } else if (name == "close") {
            if (!expectArgs(0))
                return fail("close takes no argument");
            event.message = WM_CLOSE;
            ordered.push_back({event, number});
        } else {
            return fail("unknown event \"" + name + "\"");
        }
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Ordered& a, const Ordered& b) { return a.event.frame < b.event.frame; });
    events.clear();
    for (const Ordered& o : ordered)
        events.push_back(o.event);
    return true;
}
