#include "settings.h"

#include <cmath>

namespace tvc {

void Settings::Apply(const Settings& over) {
    for (const NumberSetting& s : NumberSettings())
        if (over.*s.field) this->*s.field = over.*s.field;
    if (over.title) title = over.title;
}

Settings Settings::Defaults(const std::string& title) {
    Settings s;
    s.width = 640;
    s.height = 480;
    s.fullscreen = 0;
    s.fps = 60;
    s.debug = 0;
    s.mouse = 1;
    s.title = title;
    return s;
}

const std::vector<NumberSetting>& NumberSettings() {
    static const std::vector<NumberSetting> kSettings = {
        {"WIDTH", "--width", &Settings::width, 1, 16384},     {"HEIGHT", "--height", &Settings::height, 1, 16384},
        {"FULLSCREEN", nullptr, &Settings::fullscreen, 0, 1}, {"FPS", "--fps", &Settings::fps, 0, 1000},
        {"DEBUG", nullptr, &Settings::debug, 0, 1},           {"MOUSE", nullptr, &Settings::mouse, 0, 1},
    };
    return kSettings;
}

const NumberSetting* SettingByKey(const std::string& key) {
    for (const NumberSetting& s : NumberSettings())
        if (key == s.key) return &s;
    return nullptr;
}

const NumberSetting* SettingByOption(const std::string& option) {
    for (const NumberSetting& s : NumberSettings())
        if (s.option && option == s.option) return &s;
    return nullptr;
}

std::optional<int> SettingValue(const NumberSetting& s, double v) {
    if (!(v >= s.lo && v <= s.hi) || v != std::trunc(v)) return std::nullopt;
    return static_cast<int>(v);
}

std::string SettingKeys() { return "TITLE, WIDTH, HEIGHT, FULLSCREEN, FPS, DEBUG or MOUSE"; }

}  // namespace tvc
