// A program's build settings: what its SETTINGS line and tolvanec's options choose, in
// one structure, each value checked once where it is read.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tvc {

struct Settings {
    std::optional<int> width, height, fullscreen, fps, debug, mouse;
    std::optional<std::string> title;

    // Every setting `over` holds replaces this one's.
    void Apply(const Settings& over);
    // Every setting given: 640 x 480, windowed, 60 frames per second, no debug report,
    // the mouse on, and the title.
    static Settings Defaults(const std::string& title);
};

// A numeric setting: its SETTINGS key, its option, where it goes and its range.
struct NumberSetting {
    const char* key;     // WIDTH
    const char* option;  // --width (null: set by --fullscreen/--windowed, --debug, --no-mouse)
    std::optional<int> Settings::*field;
    int lo, hi;
};
const std::vector<NumberSetting>& NumberSettings();
// The setting of a SETTINGS key (upper case) or of an option; null for none.
const NumberSetting* SettingByKey(const std::string& key);
const NumberSetting* SettingByOption(const std::string& option);
// The whole number `v` when it lies within the setting's range (tested on the double,
// before any conversion); nothing otherwise.
std::optional<int> SettingValue(const NumberSetting& s, double v);
// "TITLE, WIDTH, HEIGHT, FULLSCREEN, FPS, DEBUG or MOUSE"
std::string SettingKeys();

}  // namespace tvc
