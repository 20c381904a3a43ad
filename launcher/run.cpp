// The self-extraction run.
#include "launcher/app.h"
#include "payload/extractor.h"
#include "platform/system.h"

int CSFEFileExtractor::ExtractAndRun() {
    std::string configuration = GetDataSegment();
    std::string folder = GetTempFolderName();
    // Extraction and launch are not there yet: give the claimed folder back.
    if (!folder.empty()) platform::RemoveDirectory(folder);
    return 0;
}
