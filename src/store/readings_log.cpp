#include "store/readings_log.h"

#include "platform/desktop_services.h"
#include "store/config.h"
#include "store/file_append.h"
#include "store/status_page.h"
#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel {

int quarterSlot(int minute) {
    return minute / 15 * 15;
}

std::string dateLabel(LocalTime t) {
    const CivilTime c = toCivil(t);
    return integerText(c.year) + "_" + integerText(c.month) + "_" + integerText(c.day);
}

std::string dayFileName(LocalTime t) {
    return dateLabel(t) + ".csv";
}

std::string logLine(LocalTime t, float ambient, float sky) {
    return dateTimeText(t) + "," + singleText(ambient) + "," + singleText(sky) + "\r\n";
}

void LogReadings(LogState& state, float ambient, float sky, const LogContext& context) {
    int line = 0;
    try {
        line = 20;
        const LocalTime now = context.services.now();
        line = 30;
        const CivilTime civil = toCivil(now);
        line = 80;
        const int slot = quarterSlot(civil.minute);
        line = 90;
        if (float(slot) != state.lastLogSlot) {
            line = 100;
            const std::string path = GetEXEPath(context.services) + dayFileName(now);
            line = 110;
            AppendStage stage = AppendStage::Open;
            try {
                appendToFile(path, logLine(now, ambient, sky), stage);
            } catch (...) {
                line = stage == AppendStage::Open ? 110 : stage == AppendStage::Write ? 120 : 130;
                throw;
            }
            line = 140;
            state.lastLogSlot = float(slot);
            line = 150;
            state.skySum = 0;
            line = 160;
            state.readingCount = 0;
            for (std::size_t i = 0; i < context.graphs.size() && i < 3; ++i) {
                line = 170 + 10 * int(i);
                if (context.graphs[i]) context.graphs[i]->PlotGraph();
            }
        }
        line = 210;
        CreateWebPage(context.settings, context.controls, context.services);
        line = 220;
    } catch (const std::exception& e) {
        reportError(context.services, e, line, "LogReadings", "frmMain");
    }
}

}  // namespace skarvel
