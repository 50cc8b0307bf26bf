#include "tools/common/trace.h"

#include <cstdio>

#include "game/game_app.h"

namespace {

// Floats with 9 significant digits read back to the same float.
void Vec(std::string& out, const Vector3& v) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "[%.9g,%.9g,%.9g]", v.x, v.y, v.z);
    out += buffer;
}

const char* Bool(bool b) { return b ? "true" : "false"; }

}  // namespace

std::string TraceLine(int pass, bool rendered, GameApp& app) {
    std::string line = "{\"pass\":" + std::to_string(pass) + ",\"rendered\":" + Bool(rendered);
    const CameraFrame& camera = app.GetCameraFrame();
    line += ",\"camera\":{\"right\":";
    Vec(line, camera.right);
    line += ",\"up\":";
    Vec(line, camera.up);
    line += ",\"forward\":";
    Vec(line, camera.forward);
    line += ",\"position\":";
    Vec(line, camera.position);
    char speed[48];
    std::snprintf(speed, sizeof speed, "%.9g", app.GetMoveSpeed());
    line += std::string("},\"speed\":") + speed;
    line += std::string(",\"paused\":") + Bool(app.IsPaused());
    line += std::string(",\"chaseA\":") + Bool(app.IsChaseA());
    line += std::string(",\"chaseB\":") + Bool(app.IsChaseB());
    line += std::string(",\"autopilot\":") + Bool(app.IsAutoPilot());
    line += std::string(",\"blend\":") + Bool(app.IsBlend());
    line += ",\"vehicles\":[";
    for (int i = 0; i < 2; ++i) {
        const VehicleState v = app.GetVehicleState(i);
        line += i == 0 ? "{\"position\":" : ",{\"position\":";
        Vec(line, v.position);
        line += ",\"forward\":";
        Vec(line, v.forward);
        line += ",\"right\":";
        Vec(line, v.right);
        line += ",\"up\":";
        Vec(line, v.up);
        line += ",\"target\":";
        if (v.hasTarget)
            Vec(line, v.target);
        else
            line += "null";
        line += "}";
    }
    const POINT cursor = app.GetLastCursor();
    line += std::string("],\"mouse\":{\"down\":") + Bool(app.IsMouseDown()) +
            ",\"inverted\":" + Bool(app.IsMouseInverted()) + ",\"cursor\":[" + std::to_string(cursor.x) + "," +
            std::to_string(cursor.y) + "]}}\n";
    return line;
}

