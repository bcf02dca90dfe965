#include "store/status_page.h"

#include "platform/desktop_services.h"
#include "platform/main_window_controls.h"
#include "store/config.h"
#include "store/file_io.h"
#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel {

void SaveStatus(const std::string& state, DesktopServices& services) {
    std::string path;
    try {
        path = GetEXEPath(services) + "status.txt";
    } catch (const std::exception& e) {
        reportError(services, e, 10, "SaveStatus", "frmMain");
        return;
    }
    // From here on failures are silent; the atomic write leaves the previous line in place.
    try {
        writeFileAtomic(path, dateTimeText(services.now()) + "," + state + "\r\n");
    } catch (const std::exception&) {
    }
}

void CreateWebPage(const Settings& settings, const MainWindowControls& controls,
                   DesktopServices& services) {
    int line = 0;
    try {
        line = 10;
        const std::string text = webPageText(controls.statusCaption(), controls.ambientTemp(),
                                             controls.skyTemp(), controls.diffTemp());
        // The page is built first and written whole, so creating and writing it is one step.
        line = 20;
        writeFileAtomic(settings.webPath + "CloudStatus.html", text);
        line = 280;
    } catch (const std::exception& e) {
        reportError(services, e, line, "CreateWebPage", "frmMain");
    }
}

std::string webPageText(const std::string& caption, const std::string& ambient,
                        const std::string& sky, const std::string& diff) {
    std::string page =
        "<html>\r\n"
        "<head>\r\n"
        "<meta http-equiv=\"refresh\" content=\"60\">\r\n"
        "<title>Skarvel Status</title>\r\n"
        "</head>\r\n"
        "<body Style = \"color: white; background-color: black;\">\r\n"
        "<big><big>Skarvel Status<br></big></big><br>Current status = \r\n";
    if (caption == "V.CLOUDY") {
        page += "<big style=\"color: red;\"><big><big>V.CLOUDY</big></big></big><br>\r\n";
    }
    if (caption == "CLOUDY") {
        page +=
            "<big style=\"color: rgb(255, 128, 0);\"><big><big>CLOUDY</big></big></big><br>\r\n";
    }
    if (caption == "CLEAR") {
        page += "<big style=\"color: green;\"><big><big>CLEAR</big></big></big><br>\r\n";
    }
    page += "<br>Ambient temp = " + ambient + "C\r\n";
    page += "<br>Sky temp = " + sky + "C\r\n";
    page += "<br>Delta temp = " + diff + "C\r\n";
    page +=
        "<br><br>3 Day History Plot:<br><img alt=\"3 Day History graph\" "
        "src=\"history.bmp\">\r\n"
        "<br><br>30 Day History Plot:<br><img alt=\"30 Day History graph\" "
        "src=\"month.bmp\">\r\n"
        "<br><br>Year History Plot:<br><img alt=\"Year History graph\" src=\"year.bmp\">\r\n"
        "</body>\r\n"
        "</html>\r\n";
    return page;
}

}  // namespace skarvel
