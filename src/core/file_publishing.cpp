#include "core/file_publishing.h"

#include <vector>

#include "store/config.h"
#include "store/status_page.h"

namespace skarvel {

FilePublishing::FilePublishing(Settings& settings, DesktopServices& services,
                               const MainWindowControls& controls)
    : settings_(settings), services_(services), controls_(controls) {}

void FilePublishing::LoadConfig() {
    skarvel::LoadConfig(settings_, GetEXEPath(services_));
}

void FilePublishing::SaveConfig() {
    skarvel::SaveConfig(settings_, GetEXEPath(services_));
}

void FilePublishing::LogReadings(LogState& state, float ambient, float sky) {
    std::vector<GraphRedraw*> graphs;
    for (GraphRedraw* g : graphs_) {
        if (g) graphs.push_back(g);
    }
    skarvel::LogReadings(state, ambient, sky, LogContext{services_, settings_, controls_, graphs});
}

void FilePublishing::SaveStatus(const std::string& state) {
    skarvel::SaveStatus(state, services_);
}

void FilePublishing::setGraphs(GraphRedraw* history, GraphRedraw* month, GraphRedraw* year) {
    graphs_ = {history, month, year};
}

}  // namespace skarvel
