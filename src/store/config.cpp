#include "store/config.h"

#include "platform/desktop_services.h"
#include "store/field_reader.h"
#include "store/file_io.h"
#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel {

std::string GetEXEPath(DesktopServices& services) {
    int line = 0;
    try {
        line = 10;
        std::string path = services.appPath();
        if (!path.empty() && path.back() == kPathSeparator) {
            line = 20;
            return path;
        }
        line = 40;
        return path + kPathSeparator;
    } catch (const std::exception& e) {
        reportError(services, e, line, "GetEXEPath", "frmMain");
        return "";
    }
}

void LoadConfig(Settings& settings, const std::string& exePath) {
    const std::string path = exePath + "config.ini";
    if (!FileExists(path)) return;
    FieldReader reader = FieldReader::fromFile(path);
    // By position only: the keys are read past, never compared.
    reader.readText();
    settings.webPath = reader.readText();
    reader.readText();
    settings.commportid = reader.readInteger();
    reader.readText();
    settings.cloudyThreshold = reader.readSingle();
    reader.readText();
    settings.vCloudyThreshold = reader.readSingle();
}

void SaveConfig(const Settings& settings, const std::string& exePath) {
    writeFileAtomic(exePath + "config.ini", configText(settings));
}

std::string configText(const Settings& settings) {
    std::string text = "webPath," + settings.webPath + "\r\n";
    text += "commportid," + integerText(settings.commportid) + "\r\n";
    text += "cloudyThreshold," + singleText(settings.cloudyThreshold) + "\r\n";
    text += "vCloudyThreshold," + singleText(settings.vCloudyThreshold) + "\r\n";
    return text;
}

}  // namespace skarvel
