// A second process for the save tests: one that can be killed in the middle of saving, and
// one that can run as a user without rights to the folder.
//
//   kelvane_settings_saver <ini> once               saves variant 1; prints "saved" or
//                                                    "failed: <reason>"
//   kelvane_settings_saver <ini> loop <n> [announce] saves variant 1, 0, 1, ... n times;
//                                                    "announce" prints "saving" first
//   kelvane_settings_saver <ini> loadsave            loads the file and saves it back;
//                                                    prints "peak <KiB>", its peak memory
//   kelvane_settings_saver <executable> located      saves variant 1 where the settings of
//                                                    that executable live; prints the path
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SaveVariants.h"
#include "platform/SettingsStore.h"
#include "settings/SettingsFile.h"

namespace {

int saveOnce(kelvane::platform::SettingsStore& settingsStore, const std::string& ini) {
    const auto saved =
        kelvane::settings::saveSettings(settingsStore, ini, kelvane::testing::saveVariant(1));
    if (!saved) {
        std::printf("failed: %s\n", saved.reason().c_str());
        return 1;
    }
    std::printf("saved\n");
    return 0;
}

int saveInLoop(kelvane::platform::SettingsStore& settingsStore, const std::string& ini, long rounds,
               bool announce) {
    if (announce) {
        std::printf("saving\n");
        std::fflush(stdout);
    }
    for (long round = 0; round < rounds; ++round) {
        const int which = round % 2 == 0 ? 1 : 0;
        const auto saved = kelvane::settings::saveSettings(settingsStore, ini,
                                                           kelvane::testing::saveVariant(which));
        if (!saved) {
            std::printf("failed: %s\n", saved.reason().c_str());
            return 1;
        }
    }
    return 0;
}

int loadAndSaveBack(kelvane::platform::SettingsStore& settingsStore, const std::string& ini) {
    const auto loaded = kelvane::settings::loadSettings(settingsStore, ini);
    const auto saved = kelvane::settings::saveSettings(settingsStore, ini, loaded);
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("peak %ld\n", usage.ru_maxrss);
    return saved ? 0 : 1;
}

int saveWhereLocated(kelvane::platform::SettingsStore& settingsStore,
                     const std::string& executable) {
    const std::string ini = kelvane::settings::settingsFilePathFor(
        settingsStore, executable, '/', kelvane::settings::Installation::Portable);
    std::printf("%s\n", ini.c_str());
    return saveOnce(settingsStore, ini);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <ini> once | loop <n> [announce]\n", argv[0]);
        return 2;
    }
    const std::string ini = argv[1];
    const std::string mode = argv[2];
    auto settingsStore = kelvane::platform::makeSystemSettingsStore();
    if (mode == "once") {
        return saveOnce(*settingsStore, ini);
    }
    if (mode == "loadsave") {
        return loadAndSaveBack(*settingsStore, ini);
    }
    if (mode == "located") {
        return saveWhereLocated(*settingsStore, ini);
    }
    if (mode == "loop" && argc >= 4) {
        return saveInLoop(*settingsStore, ini, std::atol(argv[3]), argc >= 5);
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
